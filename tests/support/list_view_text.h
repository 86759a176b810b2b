// Texts of a list view in this process, for the list's own tests.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

inline std::wstring ListItemText(HWND list, int index, int subItem)
{
    wchar_t text[128] = {};
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

inline std::wstring ListColumnText(HWND list, int column)
{
    wchar_t text[128] = {};
    LVCOLUMNW description = {};
    description.mask = LVCF_TEXT;
    description.pszText = text;
    description.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&description));
    return text;
}
