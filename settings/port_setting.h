// The one thing the program remembers between runs: which serial device the
// link uses, as a port number in the registry.
#pragma once

// 0 means no port; the list offers 0-19: COM0:-COM9:, then BSP0:-BSP9:.
constexpr wchar_t kPortSettingName[] = L"COMPort";

// The number stored under the value name, or 0 when the key cannot be opened
// or the value cannot be read as 4 bytes.
int ReadPortSetting(const wchar_t* valueName);

// Stores the number as a REG_DWORD, creating the key when it is missing. A
// failure leaves the registry as it was.
void WritePortSetting(const wchar_t* valueName, int portNumber);

// "COM" for port numbers below 10, "BSP" (a Bluetooth serial port) from 10.
// A device name is formatted as "%s%d:" from it and the number modulo 10.
const wchar_t* DevicePrefix(int portNumber);
