// The shell's menu bar on the desktop: a bar of text buttons along the
// bottom edge of its parent window, which follows the parent as it moves,
// and the soft keys F1 and F2 for its left and right buttons.
#include "ce/shell.h"

#include <commctrl.h>

#include <vector>

#include "ce/handheld_screen.h"

namespace {

constexpr wchar_t kMenuBarClass[] = L"HandheldMenuBar";
constexpr int kMaxButtons = 2;  // a left and a right soft key

struct MenuBarButton {
    WORD command;
    WORD labelId;
};

// User-interface thread only; one menu bar per process, as on the handheld.
HWND g_menuBarParent;
HWND g_menuBar;
// The parent's own window procedure. The parent is subclassed the classic
// way: comctl32's subclass helper looks its data up as a window property on
// every message, which under Wine is a round trip to the server, and the
// parent hears of every change to its list.
WNDPROC g_parentProc;
std::vector<MenuBarButton> g_buttons;
HHOOK g_softKeyHook;

bool ReadDefinition(HINSTANCE module, UINT id, std::vector<MenuBarButton>* buttons)
{
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const WORD* words = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    if (words == nullptr)
        return false;
    const size_t wordCount = SizeofResource(module, found) / sizeof(WORD);
    constexpr size_t kHeaderWords = 2;
    constexpr size_t kButtonWords = 7;
    const size_t count = wordCount >= kHeaderWords ? words[1] : 0;
    if (count == 0 || count > kMaxButtons || wordCount < kHeaderWords + count * kButtonWords)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const WORD* button = words + kHeaderWords + i * kButtonWords;
        buttons->push_back({button[1], button[4]});
    }
    return true;
}

void PlaceBelow(HWND bar, HWND parent)
{
    RECT frame;
    GetWindowRect(parent, &frame);
    SetWindowPos(bar, nullptr, frame.left, frame.bottom, frame.right - frame.left,
                 kMenuBarHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE |
                     (IsWindowVisible(parent) ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

LRESULT CALLBACK FollowParent(HWND parent, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGED)
        PlaceBelow(g_menuBar, parent);
    return CallWindowProcW(g_parentProc, parent, message, wParam, lParam);
}

LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        PostMessageW(GetWindow(bar, GW_OWNER), WM_COMMAND, LOWORD(wParam), 0);
        return 0;
    }
    return DefWindowProcW(bar, message, wParam, lParam);
}

// F1 and F2 stand for the handheld's left and right soft keys, wherever
// the focus is in the parent.
LRESULT CALLBACK SoftKeys(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_KEYDOWN &&
        (message->wParam == VK_F1 || message->wParam == VK_F2) &&
        IsWindow(g_menuBarParent) &&
        (message->hwnd == g_menuBarParent || IsChild(g_menuBarParent, message->hwnd))) {
        const size_t key = message->wParam == VK_F1 ? 0 : g_buttons.size() - 1;
        PostMessageW(g_menuBarParent, WM_COMMAND, g_buttons[key].command, 0);
        message->message = WM_NULL;
    }
    return CallNextHookEx(g_softKeyHook, code, wParam, lParam);
}

void AddButtons(HWND bar, HINSTANCE module)
{
    RECT client;
    GetClientRect(bar, &client);
    const int width = (client.right - client.left) / kMaxButtons;
    for (size_t i = 0; i < g_buttons.size(); ++i) {
        wchar_t label[32] = {};
        LoadStringW(module, g_buttons[i].labelId, label, 32);
        const int left = i == 0 ? 0 : client.right - width;
        CreateWindowExW(0, L"BUTTON", label, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, left, 0,
                        width, client.bottom, bar,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(g_buttons[i].command)),
                        nullptr, nullptr);
    }
}

}  // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (info == nullptr || info->cbSize != sizeof *info || !IsWindow(info->hwndParent) ||
        g_menuBarParent != nullptr)
        return FALSE;
    std::vector<MenuBarButton> buttons;
    if (!ReadDefinition(info->hInstRes, info->nToolBarId, &buttons))
        return FALSE;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MenuBarProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kMenuBarClass;
    RegisterClassW(&windowClass);

    // Where the handheld puts it: across the bottom of the parent's area,
    // which the parent then leaves to it.
    RECT frame;
    GetWindowRect(info->hwndParent, &frame);
    const HWND bar = CreateWindowExW(WS_EX_TOOLWINDOW, kMenuBarClass, L"", WS_POPUP,
                                     frame.left, frame.bottom - kMenuBarHeight,
                                     frame.right - frame.left, kMenuBarHeight,
                                     info->hwndParent, nullptr, GetModuleHandleW(nullptr),
                                     nullptr);
    if (bar == nullptr)
        return FALSE;
    g_buttons = buttons;
    g_menuBarParent = info->hwndParent;
    g_menuBar = bar;
    AddButtons(bar, info->hInstRes);
    g_parentProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        info->hwndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FollowParent)));
    g_softKeyHook = SetWindowsHookExW(WH_GETMESSAGE, SoftKeys, nullptr, GetCurrentThreadId());
    info->hwndMB = bar;
    return TRUE;
}
