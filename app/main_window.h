// The program's one top-level window: the menu bar, the full-size choice
// list, the link's and the list's notifications.
#pragma once

#include <windows.h>

// The window class, and the name of the mutex that marks a running copy.
constexpr wchar_t kMainWindowClass[] = L"ZezevevedArivez";

// The module the program runs from; its resources and menu bar come from it.
extern HINSTANCE g_instance;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
