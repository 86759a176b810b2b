// The handheld's serial stream devices on the desktop.
#pragma once

#include <windows.h>

// Opens a stream device by its handheld name for synchronous reading and
// writing, with the line raw at the driver's speed and framing. A device is
// open to one opener at a time, as the handheld's serial drivers are: a
// second open fails with ERROR_ACCESS_DENIED until the first is closed.
HANDLE OpenStreamDevice(const wchar_t* deviceName);

// Closes a device opened with OpenStreamDevice.
void CloseStreamDevice(HANDLE device);
