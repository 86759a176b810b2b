// The choice list on the real list view: keys and taps become picks for the
// parent, labels, header, fonts and columns.
#include "choicelist/choice_list.h"

#include <commctrl.h>

#include <string>

#include "tests/support/list_parent.h"
#include "tests/support/list_view_text.h"

namespace {

int NextItem(HWND list, UINT flags)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), flags));
}

int ColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

LOGFONTW FontOf(HWND window)
{
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

HWND HeaderOf(HWND list)
{
    return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
}

// The test's parent is never shown, so the header's own style tells.
bool HeaderShown(HWND list)
{
    return GetWindowLongPtrW(HeaderOf(list), GWL_STYLE) & WS_VISIBLE;
}

TEST(ChoiceListKeys, DigitsPickTheFirstTenItems)
{
    ListParent parent;
    parent.AddItems(12);
    parent.Key('1');
    parent.Key('9');
    parent.Key('0');
    EXPECT_PARENT_EVENTS(parent, {{kPick, 0, 0}, {kPick, 8, 0}, {kPick, 9, 0}});
    // The picked item was selected and focused before the parent heard of it.
    EXPECT_EQ(9, NextItem(parent.List(), LVNI_SELECTED));
    EXPECT_EQ(9, NextItem(parent.List(), LVNI_FOCUSED));
}

TEST(ChoiceListKeys, DigitBeyondTheItemsGoesToTheListView)
{
    ListParent parent;
    parent.AddItems(3);
    parent.Key('5');
    parent.Key('0');
    EXPECT_PARENT_EVENTS(parent, {{kKeyDown, '5', 1}, {kKeyDown, '0', 1}});
}

TEST(ChoiceListKeys, LettersAndKeypadNeverPick)
{
    ListParent parent;
    parent.AddItems(12);
    for (WPARAM key : {WPARAM('A'), WPARAM(VK_NUMPAD1), WPARAM(VK_NUMPAD0), WPARAM(VK_SPACE)})
        parent.Key(key);
    EXPECT_PARENT_EVENTS(parent, {{kKeyDown, 'A', 0},
                                  {kKeyDown, VK_NUMPAD1, 0},
                                  {kKeyDown, VK_NUMPAD0, 0},
                                  {kKeyDown, VK_SPACE, 0}});
}

TEST(ChoiceListKeys, EnterPicksTheSelectedItemOnly)
{
    ListParent parent;
    parent.AddItems(6);
    parent.Key(VK_RETURN);
    EXPECT_PARENT_EVENTS(parent, {{kKeyDown, VK_RETURN, 0}});

    parent.ClearEvents();
    ChoiceListSelect(parent.List(), 4);
    parent.Key(VK_RETURN);
    EXPECT_PARENT_EVENTS(parent, {{kPick, 4, 0}});
}

TEST(ChoiceListKeys, ActivationPicksTheItemSelectedAtThatMoment)
{
    ListParent parent;
    parent.AddItems(8);
    ChoiceListSelect(parent.List(), 2);
    NMITEMACTIVATE activation = {};
    activation.hdr.hwndFrom = parent.List();
    activation.hdr.idFrom = IDC_CHOICE_LIST;
    activation.hdr.code = LVN_ITEMACTIVATE;
    activation.iItem = 5;
    SendMessageW(parent.Window(), WM_NOTIFY, IDC_CHOICE_LIST,
                 reinterpret_cast<LPARAM>(&activation));
    EXPECT_PARENT_EVENTS(parent, {{kPick, 2, 0}, {kActivate, 0, 1}});

    // Without a sender the notification is not handled.
    parent.ClearEvents();
    activation.hdr.hwndFrom = nullptr;
    EXPECT_EQ(0, ChoiceListOnNotify(&activation.hdr));
    EXPECT_PARENT_EVENTS(parent, {});
}

TEST(ChoiceListKeys, ClickOnAnItemPicksIt)
{
    ListParent parent;
    parent.AddItems(6);
    RECT item = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(parent.List(), LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 40, (item.top + item.bottom) / 2);
    SendMessageW(parent.List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(parent.List(), WM_LBUTTONUP, 0, at);
    EXPECT_PARENT_EVENTS(parent, {{kPick, 3, 0}, {kActivate, 0, 1}});
}

TEST(ChoiceListItems, LabelsFollowTheDigitKeys)
{
    ListParent parent;
    parent.AddItems(11);
    EXPECT_EQ(L"1", ListItemText(parent.List(), 0, 1));
    EXPECT_EQ(L"9", ListItemText(parent.List(), 8, 1));
    EXPECT_EQ(L"0", ListItemText(parent.List(), 9, 1));
    EXPECT_EQ(L"", ListItemText(parent.List(), 10, 1));
    EXPECT_EQ(L"", ListItemText(parent.List(), 10, 0));
    EXPECT_EQ(L"Item 10", ListItemText(parent.List(), 10, 2));
    EXPECT_EQ(11, ChoiceListCount(parent.List()));

    ChoiceListClear(parent.List());
    EXPECT_EQ(0, ChoiceListCount(parent.List()));
    EXPECT_EQ(0, ChoiceListAddItem(parent.List(), L"Again", -1));
    EXPECT_EQ(L"1", ListItemText(parent.List(), 0, 1));
}

TEST(ChoiceListItems, SelectingOutsideTheItemsSelectsNothing)
{
    ListParent parent;
    parent.AddItems(4);
    ChoiceListSelect(parent.List(), -1);
    ChoiceListSelect(parent.List(), 4);
    EXPECT_EQ(0, SendMessageW(parent.List(), LVM_GETSELECTEDCOUNT, 0, 0));
    EXPECT_EQ(-1, NextItem(parent.List(), LVNI_FOCUSED));
}

TEST(ChoiceListLook, HeaderHidesAndShowsKeepingItsTitle)
{
    ListParent parent;
    const HWND list = parent.List();
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER);
    ChoiceListSetTitle(list, L"Slides");
    ChoiceListShowHeader(list, TRUE);
    EXPECT_FALSE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER);
    EXPECT_TRUE(HeaderShown(list));
    ChoiceListShowHeader(list, FALSE);
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER);
    EXPECT_FALSE(HeaderShown(list));
    ChoiceListShowHeader(list, TRUE);
    EXPECT_EQ(L"Slides", ListColumnText(list, 2));
}

TEST(ChoiceListLook, FontsDerivedFromTheReportedOnesAndDeletedWithTheList)
{
    EXPECT_EQ(-9, HeaderFontHeight(-12));
    EXPECT_EQ(-9, HeaderFontHeight(-13));
    EXPECT_EQ(-12, HeaderFontHeight(-16));
    EXPECT_EQ(9, HeaderFontHeight(13));

    // What a plain list view reports is what the choice list starts from.
    ListParent parent;
    const HWND plain = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0,
                                       100, 100, parent.Window(), nullptr, nullptr, nullptr);
    LVCOLUMNW column = {};
    SendMessageW(plain, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));  // makes its header
    const LOGFONTW plainItem = FontOf(plain);
    const LOGFONTW plainHeader = FontOf(HeaderOf(plain));
    DestroyWindow(plain);

    const LOGFONTW item = FontOf(parent.List());
    const LOGFONTW header = FontOf(HeaderOf(parent.List()));
    EXPECT_EQ(600, item.lfWeight);
    EXPECT_EQ(plainItem.lfHeight, item.lfHeight);
    EXPECT_STREQ(plainItem.lfFaceName, item.lfFaceName);
    EXPECT_EQ(700, header.lfWeight);
    EXPECT_EQ(HeaderFontHeight(plainHeader.lfHeight), header.lfHeight);

    const HGDIOBJ itemFont =
        reinterpret_cast<HGDIOBJ>(SendMessageW(parent.List(), WM_GETFONT, 0, 0));
    const HGDIOBJ headerFont =
        reinterpret_cast<HGDIOBJ>(SendMessageW(HeaderOf(parent.List()), WM_GETFONT, 0, 0));
    DestroyWindow(parent.List());
    LOGFONTW gone;
    EXPECT_EQ(0, GetObjectW(itemFont, sizeof gone, &gone));
    EXPECT_EQ(0, GetObjectW(headerFont, sizeof gone, &gone));
}

TEST(ChoiceListLook, FittedColumnsEndAtTheClientEdge)
{
    ListParent parent;
    const HWND list = parent.List();
    parent.AddItems(3);
    ChoiceListFitColumns(list);
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(240, client.right);
    EXPECT_GT(ColumnWidth(list, 1), 0);
    EXPECT_EQ(240 - ColumnWidth(list, 1), ColumnWidth(list, 2));

    // With a scroll bar, the text column ends where it starts.
    parent.AddItems(40);
    ChoiceListFitColumns(list);
    GetClientRect(list, &client);
    EXPECT_LT(client.right, 240);
    EXPECT_EQ(client.right - ColumnWidth(list, 1), ColumnWidth(list, 2));
}

}  // namespace
