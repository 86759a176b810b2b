// The choice list: the main window's one control, a report-view list with a
// shortcut label in front of each entry, that turns a tap, Enter and the
// digit keys into a pick command for its parent.
#pragma once

#include <windows.h>

constexpr int IDC_CHOICE_LIST = 1000;
constexpr int IDC_PICK = 1023;

// The pick command: WM_COMMAND to the parent with wParam
// MAKEWPARAM(IDC_PICK, list id) and the 0-based item index in lParam.
constexpr WPARAM kPickCommand = MAKEWPARAM(IDC_PICK, IDC_CHOICE_LIST);

// The list view's own window procedure, saved when the list is subclassed;
// there is one slot, so one choice list at a time.
extern WNDPROC g_choiceListBaseProc;

HWND CreateChoiceList(HWND parent, const RECT& rect, int controlId);
LRESULT CALLBACK ChoiceListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
// The parent's handling of the list's WM_NOTIFY: 1 when handled, else 0.
LRESULT ChoiceListOnNotify(const NMHDR* header);

int ChoiceListAddItem(HWND list, const wchar_t* text, int image);
void ChoiceListClear(HWND list);
int ChoiceListCount(HWND list);
// Selects and focuses an item; an index outside the items is ignored.
void ChoiceListSelect(HWND list, int index);
// Replaces an item's entry text; its label and state stay.
void ChoiceListSetText(HWND list, int index, const wchar_t* text);
// A disabled list, greyed, takes no taps or keys. If it had the focus, its
// parent takes it meanwhile, so that keys such as the soft keys still reach
// the window, and the list takes it back once enabled.
void ChoiceListEnable(HWND list, BOOL enable);
void ChoiceListShowHeader(HWND list, BOOL show);
void ChoiceListSetTitle(HWND list, const wchar_t* title);
void ChoiceListFitColumns(HWND list);

// The header font's height from the one the header reports: three quarters,
// truncated toward zero.
inline LONG HeaderFontHeight(LONG reportedHeight)
{
    return reportedHeight * 3 / 4;
}
