#include "ce/device_path.h"

#include <wchar.h>

namespace {

bool IsBluetoothPortName(const wchar_t* name)
{
    return wcsncmp(name, L"BSP", 3) == 0 && name[3] >= L'0' && name[3] <= L'9' &&
           name[4] == L':' && name[5] == L'\0';
}

}  // namespace

bool DevicePath(const wchar_t* deviceName, wchar_t* path, size_t pathSize)
{
    if (deviceName == nullptr || deviceName[0] == L'\0' || pathSize == 0)
        return false;
    if (IsBluetoothPortName(deviceName)) {
        if (pathSize < 10)
            return false;
        wcscpy(path, L"\\\\.\\COM1");
        path[8] = deviceName[3];
        path[9] = L'\0';
        return true;
    }
    if (wcslen(deviceName) >= pathSize)
        return false;
    wcscpy(path, deviceName);
    return true;
}
