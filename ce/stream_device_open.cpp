#include "ce/stream_device.h"

#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

#include <vector>

#include "ce/device_path.h"

namespace {

// Wine lets a second process open a tty that another has open, where the
// handheld's and Windows' serial drivers refuse it; a named claim per device
// stands for the open.
struct OpenDevice {
    HANDLE device;
    HANDLE claim;
};

// Never destroyed: nothing closes a link at exit, and its reader may still
// open or close its device while the runtime runs the static destructors.
struct OpenDevices {
    OpenDevices() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;  // any thread that opens or closes a device
    std::vector<OpenDevice>* devices = new std::vector<OpenDevice>;
};

OpenDevices g_openDevices;

constexpr wchar_t kClaimPrefix[] = L"Local\\StreamDevice ";
constexpr size_t kClaimNameSize = _countof(kClaimPrefix) + kDevicePathSize;

// One name for every path to a port: \\.\COM7, COM7 and COM7: claim alike.
void MakeClaimName(const wchar_t* path, wchar_t* name)
{
    if (wcsncmp(path, L"\\\\.\\", 4) == 0)
        path += 4;
    wcscpy(name, kClaimPrefix);
    wchar_t* out = name + wcslen(name);
    for (; *path != L'\0' && !(*path == L':' && path[1] == L'\0'); ++path)
        *out++ = *path == L'\\' ? L'_' : static_cast<wchar_t>(towupper(*path));
    *out = L'\0';
}

HANDLE ClaimDevice(const wchar_t* path)
{
    wchar_t name[kClaimNameSize];
    MakeClaimName(path, name);
    const HANDLE claim = CreateMutexW(nullptr, FALSE, name);
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return claim;
}

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
    const HANDLE claim = ClaimDevice(path);
    if (claim == nullptr)
        return INVALID_HANDLE_VALUE;
    const HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        CloseHandle(claim);
        return INVALID_HANDLE_VALUE;
    }
    KeepDriverLineSettings(device);
    EnterCriticalSection(&g_openDevices.lock);
    g_openDevices.devices->push_back({device, claim});
    LeaveCriticalSection(&g_openDevices.lock);
    return device;
}

void CloseStreamDevice(HANDLE device)
{
    HANDLE claim = nullptr;
    EnterCriticalSection(&g_openDevices.lock);
    std::vector<OpenDevice>& devices = *g_openDevices.devices;
    for (auto entry = devices.begin(); entry != devices.end(); ++entry) {
        if (entry->device == device) {
            claim = entry->claim;
            devices.erase(entry);
            break;
        }
    }
    LeaveCriticalSection(&g_openDevices.lock);
    CloseHandle(device);
    if (claim != nullptr)
        CloseHandle(claim);
}
