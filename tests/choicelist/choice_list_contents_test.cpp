// What the list shows: the ports with the stored one marked, or the stored
// submenu line's title, items and selection.
#include "choicelist/choice_list_contents.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/remote_state.h"
#include "choicelist/choice_list.h"
#include "settings/port_setting.h"
#include "tests/support/list_parent.h"
#include "tests/support/list_view_text.h"

namespace {

using Texts = std::vector<std::wstring>;

struct Shown {
    bool headerVisible;
    std::wstring title;
    Texts items;
    int selected;
};

Shown WhatIsShown(HWND list)
{
    Shown shown;
    shown.headerVisible = !(GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER);
    shown.title = ListColumnText(list, 2);
    for (int i = 0; i < ChoiceListCount(list); ++i)
        shown.items.push_back(ListItemText(list, i, 2));
    shown.selected = static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return shown;
}

class ChoiceListContents : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
        g_menuMode = 0;
        g_menuLine[0] = L'\0';
        g_link = nullptr;
    }
    void TearDown() override
    {
        delete g_link;
        g_link = nullptr;
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
    }

    Shown Fill()
    {
        FillChoiceList(parent.Window());
        return WhatIsShown(parent.List());
    }

    void UseLink(bool present)
    {
        delete g_link;
        g_link = present ? CreateAccessoryLink(L"COM4:", parent.Window(), WM_LINK_NOTIFY)
                         : nullptr;
    }

    Shown ShowSubmenu(const wchar_t* line)
    {
        g_menuMode = 1;
        wcscpy(g_menuLine, line);
        return Fill();
    }

    ListParent parent;
};

Texts PortEntries(int marked, const wchar_t* suffix)
{
    Texts entries;
    for (int port = 0; port < 20; ++port) {
        std::wstring entry = (port < 10 ? L"COM" : L"BSP") + std::to_wstring(port % 10) + L":";
        entries.push_back(port == marked ? entry + suffix : entry);
    }
    return entries;
}

TEST_F(ChoiceListContents, PortModeMarksTheStoredPort)
{
    struct {
        int stored;
        bool link;
        int marked;
        const wchar_t* suffix;
    } const cases[] = {
        {3, true, 3, L" - OK"},   {12, false, 12, L" - Error"}, {0, false, 0, L" - Error"},
        {0, true, 0, L" - OK"},   {25, true, -1, L""},          {-1, true, -1, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        WritePortSetting(kPortSettingName, c.stored);
        UseLink(c.link);
        const Shown shown = Fill();
        EXPECT_TRUE(shown.headerVisible);
        EXPECT_EQ(L"Select Port...", shown.title);
        EXPECT_EQ(PortEntries(c.marked, c.suffix), shown.items);
        EXPECT_EQ(0, shown.selected);
    }
}

TEST_F(ChoiceListContents, PortModeWithNothingStored)
{
    EXPECT_EQ(PortEntries(0, L" - Error"), Fill().items);
}

TEST_F(ChoiceListContents, MenuModeShowsTitleItemsAndSelection)
{
    const Shown shown = ShowSubmenu(L"AT*EASM=\"Show\",1,2,2,\"Next\",\"Back\",1");
    EXPECT_TRUE(shown.headerVisible);
    EXPECT_EQ(L"Show", shown.title);
    EXPECT_EQ(Texts({L"Next", L"Back"}), shown.items);
    EXPECT_EQ(1, shown.selected);

    // Refilling replaces everything.
    const Shown again = ShowSubmenu(L"AT*EASM=\"Other\",1,1,1,\"Only\",1");
    EXPECT_EQ(L"Other", again.title);
    EXPECT_EQ(Texts({L"Only"}), again.items);
    EXPECT_EQ(0, again.selected);
}

TEST_F(ChoiceListContents, MenuModeLinesThatStopEarly)
{
    struct {
        const wchar_t* line;
        const wchar_t* title;  // the header after the fill
        Texts items;
        int selected;
    } const cases[] = {
        {L"AT*EASM=\"T\",2,1,2,\"A\",\"B\",1", L"T", {}, -1},
        {L"AT*EASM=\"T\"", L"T", {}, -1},
        {L"AT*EASM=\"T\",1", L"T", {}, -1},
        {L"AT*EASM=\"T\",1,1", L"T", {}, -1},
        {L"AT*EASM=\"T\",1,1,5,\"A\",\"B\",1", L"T", {L"A", L"B"}, 0},
        {L"AT*EASM=\"T\",1,2,1,\"A\",\"B\",1", L"T", {L"A"}, -1},
        {L"AT*EASM=\"T\",1,1,0,1", L"T", {}, -1},
        {L"AT*EASM=\"T\",1,1,2,\"\",\"B\",1", L"T", {L"", L"B"}, 0},
        {L"AT*EASM=\"T\",1,0,2,\"A\",\"B\",1", L"T", {L"A", L"B"}, -1},
        {L"AT*EASM=\"T\", 1, 2, 2,\"A\",\"B\",1", L"T", {L"A", L"B"}, 1},
        {L"AT*EASM=\"T\",1 ,2,2,\"A\",\"B\",1", L"T", {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        const Shown shown = ShowSubmenu(c.line);
        EXPECT_TRUE(shown.headerVisible);
        EXPECT_EQ(c.title, shown.title);
        EXPECT_EQ(c.items, shown.items);
        EXPECT_EQ(c.selected, shown.selected);
    }
}

TEST_F(ChoiceListContents, MenuModeKeepsTheHeaderWhenNoTitleCanBeRead)
{
    ChoiceListSetTitle(parent.List(), L"Slides");
    ChoiceListShowHeader(parent.List(), FALSE);
    for (const wchar_t* line : {L"AT*EASM=\"Unclosed", L"AT*EAM=\"Slides\"", L"OK"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        const Shown shown = ShowSubmenu(line);
        EXPECT_FALSE(shown.headerVisible);
        EXPECT_EQ(L"Slides", shown.title);
        EXPECT_EQ(Texts(), shown.items);
    }
}

TEST_F(ChoiceListContents, MenuModeCutsLongTextsToTheirBuffer)
{
    const std::wstring longText(80, L'w');
    const std::wstring line =
        L"AT*EASM=\"" + longText + L"\",1,1,1,\"" + longText + L"\",1";
    const Shown shown = ShowSubmenu(line.c_str());
    EXPECT_EQ(longText.substr(0, 63), shown.title);
    EXPECT_EQ(Texts({longText.substr(0, 63)}), shown.items);
}

TEST_F(ChoiceListContents, ColumnsAreFittedAfterEveryFill)
{
    ShowSubmenu(L"AT*EASM=\"T\",1,1,1,\"A\",1");
    RECT client;
    GetClientRect(parent.List(), &client);
    const HWND list = parent.List();
    EXPECT_EQ(client.right, SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0) +
                                SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0));
}

}  // namespace
