// What the choice list shows: the twenty serial ports until the accessory
// sends a submenu, its title and items from then on.
#pragma once

#include <windows.h>

// Rebuilds the main window's choice list from the port setting, the link and
// the stored submenu line.
void FillChoiceList(HWND mainWindow);
