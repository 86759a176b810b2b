#include "choicelist/choice_list.h"

#include <commctrl.h>

#include "ce/list_view_style.h"

WNDPROC g_choiceListBaseProc;

namespace {

enum Column { kItemColumn, kLabelColumn, kTextColumn };
constexpr LONG kItemFontWeight = 600;
constexpr LONG kHeaderFontWeight = 700;
constexpr int kLabelledItems = 10;  // the digit keys 1-9 and 0
constexpr DWORD kChoiceListStyle =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_REPORT;
constexpr DWORD kChoiceListExStyle = LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT |
                                     LVS_EX_ONECLICKACTIVATE | kListViewGradientStyle;

HWND Header(HWND list)
{
    return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
}

// A reported font with a new weight (and height); with no font reported,
// the platform's default face at that weight.
HFONT DeriveFont(HWND window, LONG weight, bool headerHeight)
{
    LOGFONTW font = {};
    const HGDIOBJ reported = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
    GetObjectW(reported, sizeof font, &font);
    font.lfWeight = weight;
    if (headerHeight)
        font.lfHeight = HeaderFontHeight(font.lfHeight);
    return CreateFontIndirectW(&font);
}

void InsertColumn(HWND list, int column, int format, int width)
{
    LVCOLUMNW description = {};
    description.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    description.fmt = format;
    description.cx = width;
    description.pszText = const_cast<wchar_t*>(L"");
    description.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&description));
}

void SetSubItemText(HWND list, int index, int subItem, const wchar_t* text)
{
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
}

// The item a key names, or -1: Enter names the selected item, '1'-'9' the
// first nine and '0' the tenth.
int ItemForKey(HWND list, WPARAM key)
{
    if (key == VK_RETURN)
        return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                             LVNI_SELECTED));
    if (key >= '1' && key <= '9')
        return static_cast<int>(key - '1');
    if (key == '0')
        return 9;
    return -1;
}

LRESULT OnKeyDown(HWND list, WPARAM key, LPARAM lParam)
{
    const int index = ItemForKey(list, key);
    if (index < 0 || index >= ChoiceListCount(list))
        return CallWindowProcW(g_choiceListBaseProc, list, WM_KEYDOWN, key, lParam);
    ChoiceListSelect(list, index);
    const WORD controlId = LOWORD(GetWindowLongPtrW(list, GWLP_ID));
    // The parent may refill this very list: nothing here touches it after.
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_PICK, controlId), index);
    return 0;
}

LRESULT OnDestroy(HWND list, WPARAM wParam, LPARAM lParam)
{
    DeleteObject(reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    DeleteObject(reinterpret_cast<HGDIOBJ>(SendMessageW(Header(list), WM_GETFONT, 0, 0)));
    return CallWindowProcW(g_choiceListBaseProc, list, WM_DESTROY, wParam, lParam);
}

}  // namespace

HWND CreateChoiceList(HWND parent, const RECT& rect, int controlId)
{
    const HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", kChoiceListStyle, rect.left,
                                      rect.top, rect.right - rect.left,
                                      rect.bottom - rect.top, parent, nullptr, nullptr,
                                      nullptr);
    if (list == nullptr)
        return nullptr;
    g_choiceListBaseProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ChoiceListProc)));
    SetWindowLongPtrW(list, GWLP_ID, controlId);

    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(DeriveFont(list, kItemFontWeight, false)),
                 TRUE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kChoiceListExStyle);

    const int labelWidth = GetSystemMetrics(SM_CXSMICON);
    InsertColumn(list, kItemColumn, LVCFMT_LEFT, 0);
    InsertColumn(list, kLabelColumn, LVCFMT_CENTER, labelWidth);
    InsertColumn(list, kTextColumn, LVCFMT_LEFT,
                 rect.right - rect.left - GetSystemMetrics(SM_CXVSCROLL) - labelWidth);

    const HWND header = Header(list);
    SendMessageW(header, WM_SETFONT,
                 reinterpret_cast<WPARAM>(DeriveFont(header, kHeaderFontWeight, true)), TRUE);
    return list;
}

LRESULT CALLBACK ChoiceListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN: return OnKeyDown(list, wParam, lParam);
    case WM_DESTROY: return OnDestroy(list, wParam, lParam);
    }
    return CallWindowProcW(g_choiceListBaseProc, list, message, wParam, lParam);
}

LRESULT ChoiceListOnNotify(const NMHDR* header)
{
    if (header->hwndFrom == nullptr)
        return 0;
    switch (header->code) {
    case LVN_ITEMACTIVATE:
        // A tap picks the item selected now, not the one the tap names.
        SendMessageW(header->hwndFrom, WM_KEYDOWN, VK_RETURN, 0);
        return 1;
    case LVN_KEYDOWN: {
        // A digit that named no item is answered here, not searched for.
        const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey;
        return key >= '0' && key <= '9';
    }
    }
    return 0;
}

int ChoiceListAddItem(HWND list, const wchar_t* text, int image)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = ChoiceListCount(list);
    item.pszText = const_cast<wchar_t*>(L"");
    item.iImage = -1;
    const int index =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));

    wchar_t label[16] = {};
    if (index >= 0 && index < kLabelledItems)
        wsprintfW(label, L"%d", (index + 1) % 10);
    SetSubItemText(list, index, kLabelColumn, label);
    ChoiceListSetText(list, index, text);

    LVITEMW entryImage = {};
    entryImage.mask = LVIF_IMAGE;
    entryImage.iItem = index;
    entryImage.iSubItem = kTextColumn;
    entryImage.iImage = image;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&entryImage));
    return index;
}

void ChoiceListClear(HWND list)
{
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

int ChoiceListCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// The list view applies index -1 to every item, which would select and focus
// the whole list: only an item that exists is selected.
void ChoiceListSelect(HWND list, int index)
{
    if (index < 0 || index >= ChoiceListCount(list))
        return;
    LVITEMW state = {};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
}

void ChoiceListSetText(HWND list, int index, const wchar_t* text)
{
    SetSubItemText(list, index, kTextColumn, text);
}

void ChoiceListEnable(HWND list, BOOL enable)
{
    const HWND parent = GetParent(list);
    if (!enable && GetFocus() == list)
        SetFocus(parent);
    EnableWindow(list, enable);
    if (enable && GetFocus() == parent)
        SetFocus(list);
}

void ChoiceListShowHeader(HWND list, BOOL show)
{
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    if (show)
        style &= ~static_cast<LONG_PTR>(LVS_NOCOLUMNHEADER);
    else
        style |= LVS_NOCOLUMNHEADER;
    SetWindowLongPtrW(list, GWL_STYLE, style);
}

void ChoiceListSetTitle(HWND list, const wchar_t* title)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(title);
    SendMessageW(list, LVM_SETCOLUMNW, kTextColumn, reinterpret_cast<LPARAM>(&column));
}

void ChoiceListFitColumns(HWND list)
{
    RECT client;
    GetClientRect(list, &client);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kLabelColumn, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    const int labelWidth =
        static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, kLabelColumn, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kTextColumn,
                 MAKELPARAM(client.right - client.left - labelWidth, 0));
}
