// How the handheld's serial device names open on the desktop.
#pragma once

#include <stddef.h>

// Room for the longest path a device name maps to, terminator included.
constexpr size_t kDevicePathSize = 32;

// The desktop path that opens a handheld device name. "COMn:" opens as it
// stands; "BSPn:" (a Bluetooth serial port) becomes \\.\COM1n, the ports
// COM10-COM19 where a user links such a device. Any other name is passed on
// unchanged. Returns false for a missing or empty name or one that does not fit.
bool DevicePath(const wchar_t* deviceName, wchar_t* path, size_t pathSize);
