// The port setting in the prefix's real registry, and the device names.
#include "settings/port_setting.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kKey[] = L"Software\\Tarvane\\Velorine\\ZezevevedArivez";

TEST(PortSetting, ReadsWhatFitsFourBytesAndWritesADword)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));  // no key
    WritePortSetting(kPortSettingName, 12);            // makes the path
    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, kKey, kPortSettingName,
                                          RRF_RT_ANY, &type, &value, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(12u, value);
    WritePortSetting(kPortSettingName, -1);
    EXPECT_EQ(-1, ReadPortSetting(kPortSettingName));

    const struct {
        DWORD type;
        std::string bytes;
        int read;
    } cases[] = {
        {REG_BINARY, std::string("\5\0\0\0", 4), 5},
        {REG_BINARY, std::string("\x09\0", 2), 9},
        {REG_SZ, std::string("A\0\0\0", 4), 'A'},
        {REG_SZ, std::string("A\0B\0C\0\0\0", 8), 0},
        {REG_QWORD, std::string("\3\0\0\0\0\0\0\0", 8), 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kPortSettingName, c.type,
                                  c.bytes.data(), static_cast<DWORD>(c.bytes.size())));
        EXPECT_EQ(c.read, ReadPortSetting(kPortSettingName)) << c.type << " " << c.bytes.size();
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
}

}  // namespace
