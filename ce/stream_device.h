// The handheld's serial stream devices on the desktop.
#pragma once

#include <windows.h>

// Opens a stream device by its handheld name for synchronous reading and
// writing, with the line raw at the driver's speed and framing.
HANDLE OpenStreamDevice(const wchar_t* deviceName);
