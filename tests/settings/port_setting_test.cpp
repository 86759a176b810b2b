// The port setting in the prefix's real registry.
#include "settings/port_setting.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kKey[] = L"Software\\Tarvane\\Velorine\\ZezevevedArivez";

class PortSetting : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }

    void Store(DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kPortSettingName,
                                                 type, data, size));
    }
};

TEST_F(PortSetting, MissingKeyOrValueReadsZero)
{
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CURRENT_USER, kKey, &key));
    RegCloseKey(key);
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));
}

TEST_F(PortSetting, WriteCreatesThePathAndADword)
{
    WritePortSetting(kPortSettingName, 12);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, kKey, kPortSettingName,
                                          RRF_RT_ANY, &type, &value, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(12u, value);
    EXPECT_EQ(12, ReadPortSetting(kPortSettingName));

    WritePortSetting(kPortSettingName, -1);
    EXPECT_EQ(-1, ReadPortSetting(kPortSettingName));
}

TEST_F(PortSetting, OtherTypesReadAsANumberWhenTheyFitFourBytes)
{
    const BYTE four[] = {5, 0, 0, 0};
    Store(REG_BINARY, four, sizeof four);
    EXPECT_EQ(5, ReadPortSetting(kPortSettingName));

    const BYTE two[] = {9, 0};
    Store(REG_BINARY, two, sizeof two);
    EXPECT_EQ(9, ReadPortSetting(kPortSettingName));

    Store(REG_SZ, L"A", 4);
    EXPECT_EQ(L'A', ReadPortSetting(kPortSettingName));

    Store(REG_SZ, L"ABC", 8);
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));

    const ULONGLONG wide = 3;
    Store(REG_QWORD, &wide, sizeof wide);
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));
}

TEST(DevicePrefix, NamesComBelowTenAndBspFromTen)
{
    struct {
        int port;
        const wchar_t* name;
    } const cases[] = {{0, L"COM0:"},  {3, L"COM3:"},  {9, L"COM9:"},
                       {10, L"BSP0:"}, {12, L"BSP2:"}, {19, L"BSP9:"},
                       {25, L"BSP5:"}};
    for (const auto& c : cases) {
        wchar_t name[16];
        wsprintfW(name, L"%s%d:", DevicePrefix(c.port), c.port % 10);
        EXPECT_STREQ(c.name, name) << c.port;
    }
}

}  // namespace
