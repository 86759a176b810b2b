#include "settings/port_setting.h"

#include <windows.h>

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Tarvane\\Velorine\\ZezevevedArivez";

}  // namespace

int ReadPortSetting(const wchar_t* valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return 0;
    // Whatever type the value has, 4 bytes of it read as the number.
    DWORD type = REG_DWORD;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG status = RegQueryValueExW(key, valueName, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? static_cast<int>(value) : 0;
}

void WritePortSetting(const wchar_t* valueName, int portNumber)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;
    const DWORD value = static_cast<DWORD>(portNumber);
    RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
    RegCloseKey(key);
}

const wchar_t* DevicePrefix(int portNumber)
{
    return portNumber < 10 ? L"COM" : L"BSP";
}
