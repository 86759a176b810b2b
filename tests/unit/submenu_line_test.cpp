#include "choicelist/submenu_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Read {
    bool titled = false;
    std::wstring title;
    bool numbered = false;
    int selection = 0;
    std::vector<std::wstring> items;
};

// Reads a line the way the list does: title, numbers, then up to count items.
Read ReadLine(const wchar_t* line)
{
    Read read;
    wchar_t text[kSubmenuTextSize];
    const wchar_t* afterTitle = ReadSubmenuTitle(line, text);
    if (afterTitle == nullptr)
        return read;
    read.titled = true;
    read.title = text;
    int count = 0;
    read.numbered = ReadSubmenuNumbers(afterTitle, &read.selection, &count);
    if (!read.numbered)
        return read;
    const wchar_t* scan = afterTitle;
    for (int i = 0; i < count && ReadSubmenuItem(&scan, text); ++i)
        read.items.push_back(text);
    return read;
}

using Items = std::vector<std::wstring>;

TEST(SubmenuLine, WellFormedLine)
{
    const Read read = ReadLine(L"AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1");
    EXPECT_EQ(L"Show", read.title);
    EXPECT_TRUE(read.numbered);
    EXPECT_EQ(1, read.selection);
    EXPECT_EQ(Items({L"Next", L"Back"}), read.items);
}

TEST(SubmenuLine, PrefixAndTitleMustBeWhole)
{
    EXPECT_FALSE(ReadLine(L"AT*EASM=Show").titled);
    EXPECT_FALSE(ReadLine(L"at*easm=\"Show\",1,1,0,1").titled);
    EXPECT_FALSE(ReadLine(L"AT*EAM=\"Show\"").titled);
    EXPECT_FALSE(ReadLine(L"AT*EASM=\"Show").titled);
    EXPECT_FALSE(ReadLine(L"").titled);
    EXPECT_EQ(L"", ReadLine(L"AT*EASM=\"\",1,1,0,1").title);
}

TEST(SubmenuLine, NumbersAreReadAsScanfReadsThem)
{
    struct {
        const wchar_t* line;
        bool numbered;
        int selection;
    } const cases[] = {
        {L"AT*EASM=\"T\",1,2,0", true, 2},
        {L"AT*EASM=\"T\",2,1,0", false, 0},      // first must be 1
        {L"AT*EASM=\"T\"", false, 0},            // stops after the title
        {L"AT*EASM=\"T\",1", false, 0},          // after one number
        {L"AT*EASM=\"T\",1,1", false, 0},        // after two
        {L"AT*EASM=\"T\", 1, 3,\t0", true, 3},   // blanks before a number
        {L"AT*EASM=\"T\",1 ,1,0", false, 0},     // a blank before a comma
        {L"AT*EASM=\"T\" ,1,1,0", false, 0},
        {L"AT*EASM=\"T\",+1,-2,0", true, -2},
        {L"AT*EASM=\"T\",1,,0", false, 0},
        {L"AT*EASM=\"T\",1,x,0", false, 0},
        {L"AT*EASM=\"T\",1,99999999999,0", true, 2147483647},
    };
    for (const auto& c : cases) {
        const Read read = ReadLine(c.line);
        EXPECT_TRUE(read.titled);
        EXPECT_EQ(c.numbered, read.numbered) << c.line;
        if (c.numbered) {
            EXPECT_EQ(c.selection, read.selection) << c.line;
        }
    }
}

TEST(SubmenuLine, ItemsAreTheFirstCountQuotedStrings)
{
    EXPECT_EQ(Items({L"A", L"B"}), ReadLine(L"AT*EASM=\"T\",1,1,5,\"A\",\"B\",1").items);
    EXPECT_EQ(Items({L"A"}), ReadLine(L"AT*EASM=\"T\",1,1,1,\"A\",\"B\",1").items);
    EXPECT_EQ(Items(), ReadLine(L"AT*EASM=\"T\",1,1,0,\"A\",1").items);
    EXPECT_EQ(Items(), ReadLine(L"AT*EASM=\"T\",1,1,-4,\"A\",1").items);
    EXPECT_EQ(Items({L"", L"B"}), ReadLine(L"AT*EASM=\"T\",1,1,2,\"\",\"B\",1").items);
    EXPECT_EQ(Items({L"A"}), ReadLine(L"AT*EASM=\"T\",1,1,2,\"A\",\"B").items);
}

TEST(SubmenuLine, LongTextsAreCutToTheBuffer)
{
    const std::wstring longText(100, L'x');
    const std::wstring line =
        L"AT*EASM=\"" + longText + L"\",1,1,2,\"" + longText + L"\",\"short\",1";
    const Read read = ReadLine(line.c_str());
    EXPECT_EQ(longText.substr(0, 63), read.title);
    EXPECT_EQ(Items({longText.substr(0, 63), L"short"}), read.items);
}

}  // namespace
