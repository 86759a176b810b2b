// What the choice list shows: the twenty serial ports until the accessory
// sends a submenu, its title and items from then on.
#pragma once

#include <windows.h>

// Rebuilds the main window's choice list from the port setting, the link and
// the stored submenu line.
void FillChoiceList(HWND mainWindow);

// Shows a change of the link's device state without rebuilding the list:
// the configured port's mark in port mode, the list enabled while the device
// is open in menu mode. The selection stays.
void ShowDeviceState(HWND mainWindow);
