#include "link/menu_protocol.h"

#include <gtest/gtest.h>

#include <limits.h>

namespace {

TEST(MenuProtocol, RegistrationEndsWithQuoteAndCarriageReturn)
{
    EXPECT_EQ("AT*EAM=\"Viewer\"\r", RegistrationCommand("Viewer"));
    EXPECT_EQ("AT*EAM=\"\"\r", RegistrationCommand(""));
}

TEST(MenuProtocol, MenuTextLosesLineBreaksTabsAndDoubleQuotes)
{
    char text[] = "Line\r\nTwo\tsays \"hi\"";
    CleanMenuText(text);
    EXPECT_STREQ("Line  Two says 'hi'", text);
}

TEST(MenuProtocol, ResendFieldsFollowTheTitle)
{
    size_t at = 0;
    const std::string command = "AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1";
    ASSERT_TRUE(FindResendFields(command, &at));
    EXPECT_EQ("1,2,\"Next\",\"Back\",1", command.substr(at));

    // A menu that did not exist leaves only the title part behind.
    const std::string titleOnly = "AT*EASM=\"Show\",1,";
    ASSERT_TRUE(FindResendFields(titleOnly, &at));
    EXPECT_EQ("", titleOnly.substr(at));

    EXPECT_FALSE(FindResendFields("", &at));
    EXPECT_FALSE(FindResendFields("AT*EASM=\"Show\",1", &at));
}

TEST(MenuProtocol, SubmenuFieldsAndTheLineBound)
{
    std::string items;
    AppendItemField(items, "Next");
    AppendItemField(items, "");
    std::string command = "AT*EASM=\"T\",1,";
    AppendSubmenuFields(command, 1, 2, items);
    EXPECT_EQ("AT*EASM=\"T\",1,1,2,\"Next\",\"\",1", command);

    // Fixed part, four digits of count room and the two-byte trailer.
    EXPECT_TRUE(ItemsFitLine(100, kMaxProtocolLine - 106));
    EXPECT_FALSE(ItemsFitLine(100, kMaxProtocolLine - 105));
}

TEST(MenuProtocol, IndicationsNameItemsAsAtoiReadsThem)
{
    struct {
        const char* line;
        int item;
    } const cases[] = {
        {"*EAMI: 2", 2},        {"*EAMI: 0", 0},         {"*EAMI:", 0},
        {"*EAMI: ", 0},         {"*EAMI:  7", 7},        {"*EAMI: 12abc", 12},
        {"*EAMI: x", 0},        {"*EAMI:13", 3},          {"*EAMI: -3", -3},
        {"*EAMI: 99999999999", INT_MAX},                 {"*EAII: 5,3", 3},
        {"*EAII: 4,3", 0},      {"*EAII: 5", 0},         {"*EAII: 5 ,3", 3},
        {"*EAII: 5,x", 0},      {"*EAII: 5,3,9", 3},     {"*eami: 2", 0},
        {"OK", 0},
    };
    // The number starts after seven bytes, whatever they are: "*EAMI:13"
    // reads the 3.
    for (const auto& c : cases)
        EXPECT_EQ(c.item, IndicationItem(c.line)) << c.line;
    EXPECT_TRUE(IsIndication("*EAII"));
    EXPECT_FALSE(IsIndication("*EAM"));
}

}  // namespace
