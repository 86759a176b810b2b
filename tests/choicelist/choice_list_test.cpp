// The choice list on the real list view: keys and taps become picks for the
// parent; labels, header, fonts and columns. (What it shows, the
// program's tests read from the program itself.)
#include "choicelist/choice_list.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

using Events = std::vector<std::string>;

std::wstring ItemText(HWND list, int index, int subItem = 2)
{
    wchar_t text[128] = {};
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring ColumnText(HWND list)
{
    wchar_t text[128] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column));
    return text;
}

int NextItem(HWND list, UINT flags)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), flags));
}

HWND HeaderOf(HWND list)
{
    return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
}

// A 240x320 parent with the list over its whole client area, as the main
// window has it, that records what reaches it from the list.
class ChoiceList : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.lpszClassName = L"ChoiceListParent";
        RegisterClassW(&windowClass);
        RECT frame = {0, 0, 240, 320};
        AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
        parent = CreateWindowExW(0, L"ChoiceListParent", L"", WS_POPUP, 0, 0,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, nullptr, this);
        RECT client;
        GetClientRect(parent, &client);
        list = CreateChoiceList(parent, client, IDC_CHOICE_LIST);
    }
    void TearDown() override { DestroyWindow(parent); }

    void AddItems(int count)
    {
        for (int i = 0; i < count; ++i)
            ChoiceListAddItem(list, (L"Item " + std::to_wstring(i)).c_str(), -1);
    }
    Events Keys(std::initializer_list<WPARAM> keys)
    {
        events.clear();
        for (WPARAM key : keys)
            SendMessageW(list, WM_KEYDOWN, key, 1);
        return events;
    }
    bool HeaderHidden() { return GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER; }

    static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<ChoiceList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_COMMAND) {
            self->events.push_back((wParam == kPickCommand ? "pick " : "command ") +
                                   std::to_string(lParam));
            return 0;
        }
        if (self != nullptr && message == WM_NOTIFY)
            return self->OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT OnNotify(const NMHDR* header)
    {
        const LRESULT result = ChoiceListOnNotify(header);
        if (header->code == LVN_KEYDOWN)
            events.push_back("key " +
                             std::to_string(reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey) +
                             " -> " + std::to_string(result));
        else if (header->code == LVN_ITEMACTIVATE)
            events.push_back("activate -> " + std::to_string(result));
        return result;
    }

    HWND parent = nullptr;
    HWND list = nullptr;
    Events events;
};

TEST_F(ChoiceList, KeysAndTapsPick)
{
    AddItems(12);
    // Digits pick the first ten; the picked item is selected and focused first.
    EXPECT_EQ(Events({"pick 0", "pick 8", "pick 9"}), Keys({'1', '9', '0'}));
    EXPECT_EQ(9, NextItem(list, LVNI_SELECTED));
    EXPECT_EQ(9, NextItem(list, LVNI_FOCUSED));
    EXPECT_EQ(Events({"key 65 -> 0", "key 97 -> 0", "key 96 -> 0", "key 32 -> 0"}),
              Keys({'A', VK_NUMPAD1, VK_NUMPAD0, VK_SPACE}));

    // Enter picks the selected item only; activation picks the item selected
    // at that moment, not the one the notification names.
    ChoiceListClear(list);
    AddItems(6);
    EXPECT_EQ(Events({"key 13 -> 0"}), Keys({VK_RETURN}));
    ChoiceListSelect(list, 4);
    EXPECT_EQ(Events({"pick 4"}), Keys({VK_RETURN}));
    // Digits beyond the items go to the list view.
    EXPECT_EQ(Events({"key 55 -> 1", "key 48 -> 1"}), Keys({'7', '0'}));

    ChoiceListSelect(list, 2);
    NMITEMACTIVATE activation = {};
    activation.hdr = {list, IDC_CHOICE_LIST, static_cast<UINT>(LVN_ITEMACTIVATE)};
    activation.iItem = 5;
    events.clear();
    SendMessageW(parent, WM_NOTIFY, IDC_CHOICE_LIST, reinterpret_cast<LPARAM>(&activation));
    EXPECT_EQ(Events({"pick 2", "activate -> 1"}), events);
    activation.hdr.hwndFrom = nullptr;  // without a sender: not handled
    EXPECT_EQ(0, ChoiceListOnNotify(&activation.hdr));

    RECT item = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 40, (item.top + item.bottom) / 2);
    events.clear();
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(Events({"pick 3", "activate -> 1"}), events);
}

TEST_F(ChoiceList, LabelsHeaderFontsAndColumns)
{
    AddItems(11);
    EXPECT_EQ(L"1", ItemText(list, 0, 1));
    EXPECT_EQ(L"0", ItemText(list, 9, 1));
    EXPECT_EQ(L"", ItemText(list, 10, 1));
    EXPECT_EQ(L"", ItemText(list, 10, 0));
    EXPECT_EQ(L"Item 10", ItemText(list, 10));
    ChoiceListClear(list);
    EXPECT_EQ(0, ChoiceListAddItem(list, L"Again", -1));
    EXPECT_EQ(L"1", ItemText(list, 0, 1));

    EXPECT_TRUE(HeaderHidden());
    ChoiceListSetTitle(list, L"Slides");
    ChoiceListShowHeader(list, TRUE);
    EXPECT_FALSE(HeaderHidden());
    EXPECT_TRUE(GetWindowLongPtrW(HeaderOf(list), GWL_STYLE) & WS_VISIBLE);
    ChoiceListShowHeader(list, FALSE);
    EXPECT_TRUE(HeaderHidden());
    EXPECT_FALSE(GetWindowLongPtrW(HeaderOf(list), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(L"Slides", ColumnText(list));

    // The header's font is three quarters of the height a header reports.
    EXPECT_EQ(-9, HeaderFontHeight(-13));
    EXPECT_EQ(9, HeaderFontHeight(13));

    // Columns end at the client edge, with or without a scroll bar.
    for (int count : {3, 40}) {
        AddItems(count);
        ChoiceListFitColumns(list);
        RECT client;
        GetClientRect(list, &client);
        EXPECT_EQ(client.right, SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0) +
                                    SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0));
        EXPECT_EQ(count == 3, client.right == 240);
    }

    // The fonts go with the list.
    const HGDIOBJ fonts[] = {reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)),
                             reinterpret_cast<HGDIOBJ>(
                                 SendMessageW(HeaderOf(list), WM_GETFONT, 0, 0))};
    EXPECT_NE(fonts[0], GetStockObject(DEFAULT_GUI_FONT));
    DestroyWindow(list);
    LOGFONTW font;
    for (HGDIOBJ made : fonts)
        EXPECT_EQ(0, GetObjectW(made, sizeof font, &font));
}

}  // namespace
