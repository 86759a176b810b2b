// What the remote control logic shares with the list it fills. Written by
// the remote control logic and read by the list's contents, both on the
// user-interface thread only.
#pragma once

#include "phone/line_text.h"
#include "link/accessory_link.h"

// The current link; null when no port is chosen. It lives on while its
// device is away, trying it again.
extern AccessoryLink* g_link;
// 1 while the current link's device is open, 0 while it is not (not opened
// yet, or gone since).
extern int g_deviceOpen;
// 0 until the first submenu line arrives, 1 from then on: the list then
// offers the accessory's menu instead of the ports.
extern int g_menuMode;
// The last submenu line (or entry name) from the accessory, widened and
// terminated.
extern wchar_t g_menuLine[kMenuLineSize];
