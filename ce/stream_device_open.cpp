#include "ce/stream_device.h"

#include "ce/device_path.h"

namespace {

// Wine leaves a tty as it found it: cooked, echoing, turning CR into LF.
// Handing the driver its own settings back makes the line raw without
// changing speed or framing; on Windows it changes nothing.
void KeepDriverLineSettings(HANDLE port)
{
    DCB settings = {};
    settings.DCBlength = sizeof settings;
    if (GetCommState(port, &settings))
        SetCommState(port, &settings);
}

}  // namespace

HANDLE OpenStreamDevice(const wchar_t* deviceName)
{
    wchar_t path[kDevicePathSize];
    if (!DevicePath(deviceName, path, kDevicePathSize))
        return INVALID_HANDLE_VALUE;
    HANDLE port = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE)
        KeepDriverLineSettings(port);
    return port;
}
