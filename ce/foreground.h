// Bringing a running copy's window forward.
#pragma once

#include <windows.h>

// The handheld brings a window forward together with its owned windows by
// passing its handle with the lowest bit set. On the desktop that is no
// window: the real window is brought forward, and its owned windows (the
// menu bar) with it.
void BringWindowForward(HWND window);
