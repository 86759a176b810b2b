// The program's side of the conversation: it plays the phone towards the
// accessory, answering every line with "OK", taking the entry name and the
// submenu, and turning the user's picks into indications, or, before any
// submenu, into the choice of a port. User-interface thread only.
#pragma once

#include <windows.h>

// Closes and releases the current link, then opens one on the stored port.
void Connect(HWND mainWindow);

// The main window's handling of the link's notifications; always 1, which
// tells the link that the program took the line.
LRESULT OnLinkNotify(HWND mainWindow, WPARAM wParam, LPARAM lParam);

// The main window's handling of a pick of the list's item `index`.
void OnPick(HWND mainWindow, int index);
