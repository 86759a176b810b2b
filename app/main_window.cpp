#include "app/main_window.h"

#include "app/remote_control.h"
#include "ce/shell.h"
#include "choicelist/choice_list.h"
#include "choicelist/choice_list_contents.h"
#include "link/accessory_link.h"
#include "res/resource.h"

HINSTANCE g_instance;

namespace {

constexpr int kPaintTextSize = 30;
constexpr wchar_t kAboutText[] =
    L"Tarvane Remote\n\n"
    L"A remote control for accessory applications: it shows the menus an "
    L"accessory publishes over a serial or Bluetooth line and sends back the "
    L"item you pick.\n\n"
    L"\x00A9 2026 Tarvane\nwww.tarvane.example";

// Written once at creation, read when painting.
wchar_t g_paintText[kPaintTextSize];

// The menu bar takes the bottom of the window's area: leave it to the bar.
void FitAboveMenuBar(HWND window, HWND menuBar)
{
    RECT frame;
    RECT bar;
    GetWindowRect(window, &frame);
    GetWindowRect(menuBar, &bar);
    if (frame.bottom <= bar.top)
        return;
    MoveWindow(window, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - (bar.bottom - bar.top) - frame.top, FALSE);
}

LRESULT OnCreate(HWND window)
{
    SHMENUBARINFO menuBar = {};
    menuBar.cbSize = sizeof menuBar;
    menuBar.hwndParent = window;
    menuBar.nToolBarId = IDR_MENU_BAR;
    menuBar.hInstRes = g_instance;
    if (!SHCreateMenuBar(&menuBar))
        return -1;
    if (menuBar.hwndMB != nullptr)
        FitAboveMenuBar(window, menuBar.hwndMB);
    if (LoadStringW(g_instance, IDS_PAINT_TEXT, g_paintText, kPaintTextSize) == 0)
        return -1;

    RECT client;
    GetClientRect(window, &client);
    const HWND list = CreateChoiceList(window, client, IDC_CHOICE_LIST);
    Connect(window);
    FillChoiceList(window);
    SetFocus(list);
    return 0;
}

// A list disabled while its device is away leaves the focus to the window,
// where the soft keys still reach it.
void OnActivate(HWND window, WPARAM state)
{
    if (state == 0)
        return;
    const HWND list = GetDlgItem(window, IDC_CHOICE_LIST);
    SetFocus(IsWindowEnabled(list) ? list : window);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    DrawTextW(dc, g_paintText, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
}

// Only the list's notifications are its handler's; a 0 goes on to the default.
bool OnNotify(LPARAM lParam, LRESULT* result)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header == nullptr || header->idFrom != IDC_CHOICE_LIST)
        return false;
    *result = ChoiceListOnNotify(header);
    return *result != 0;
}

// Matched on the whole wParam: a notification code in the high word makes
// another command.
bool OnCommand(HWND window, WPARAM command, LPARAM lParam)
{
    switch (command) {
    case IDOK:
        DestroyWindow(window);
        return true;
    case IDM_ABOUT:
        MessageBoxW(window, kAboutText, L"Remote", MB_ICONINFORMATION | MB_SETFOREGROUND);
        return true;
    case kPickCommand:
        OnPick(window, static_cast<int>(lParam));
        return true;
    }
    return false;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: PostQuitMessage(0); return 1;
    case WM_ACTIVATE: OnActivate(window, wParam); return 1;
    case WM_PAINT: OnPaint(window); return 1;
    case WM_TIMER: return 1;
    case WM_LINK_NOTIFY: return OnLinkNotify(window, wParam, lParam);
    case WM_NOTIFY:
        if (OnNotify(lParam, &result))
            return result;
        break;
    case WM_COMMAND:
        if (OnCommand(window, wParam, lParam))
            return 1;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
