#include "link/menu_protocol.h"

#include <gtest/gtest.h>

#include <limits.h>

namespace {

TEST(MenuProtocol, ItemsStopAtTheLineAReceiverReads)
{
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
    // What the phone sends reads back as the item it names.
    for (int item : {1, 10, INT_MAX, -3})
        EXPECT_EQ(item, IndicationItem(IndicationCommand(item).c_str())) << item;
    EXPECT_EQ("*EAMI: 3", IndicationCommand(3));
    EXPECT_FALSE(IsIndication("*EAM"));
}

}  // namespace
