// The handheld shell's menu bar and extra controls, as the program uses them.
#pragma once

#include <windows.h>

struct SHMENUBARINFO {
    DWORD cbSize;  // sizeof(SHMENUBARINFO); 36 on the handheld
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;      // the menu bar definition's resource id
    HINSTANCE hInstRes;   // the module holding it and its strings
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;          // out: the menu bar
    COLORREF clrBk;
};

// Creates the menu bar from its definition: a bar along the bottom of the
// screen area, below the parent, whose buttons send the parent WM_COMMAND
// with exactly their command ids. On the desktop the soft keys are F1 (the
// left button) and F2 (the right one).
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// Prepares the shell's extra controls; on the desktop it also makes new
// top-level windows come up where, and as large as, the handheld puts them.
BOOL SHInitExtraControls();

// The menu bar definition is an RCDATA resource of 16-bit words: the menu's
// id, the button count, then per button: image (0xFFFE for none), command,
// state, style, label string id, 0, and submenu index (0xFFFF for none).
