#include "ce/device_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring PathOf(const wchar_t* name)
{
    wchar_t path[kDevicePathSize];
    return DevicePath(name, path, kDevicePathSize) ? path : L"<refused>";
}

TEST(DevicePath, HandheldNamesMapToDesktopPorts)
{
    EXPECT_EQ(L"COM3:", PathOf(L"COM3:"));
    EXPECT_EQ(L"\\\\.\\COM10", PathOf(L"BSP0:"));
    EXPECT_EQ(L"\\\\.\\COM12", PathOf(L"BSP2:"));
    EXPECT_EQ(L"\\\\.\\COM19", PathOf(L"BSP9:"));
    EXPECT_EQ(L"BSP12:", PathOf(L"BSP12:"));
    EXPECT_EQ(L"\\\\.\\COM6", PathOf(L"\\\\.\\COM6"));
    EXPECT_EQ(L"<refused>", PathOf(L""));
    EXPECT_EQ(L"<refused>", PathOf(nullptr));
    EXPECT_EQ(L"<refused>", PathOf(std::wstring(kDevicePathSize, L'C').c_str()));
}

}  // namespace
