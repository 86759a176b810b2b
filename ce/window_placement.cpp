// Top-level windows come up as the handheld places them: across the screen
// below the task bar. A window is placed as it receives WM_CREATE, so that
// its own creation already sees the handheld's rectangle. (Wine ignores a
// CBT hook's changes to the creation rectangle, and has already resolved a
// default position by then, so every overlapped top-level window is placed;
// popups such as message boxes and the menu bar keep their own.) The
// program has one such window: once it is placed the hook goes, since a
// call-window hook runs for every message the thread sends, and under Wine
// costs each of them three round trips to the server.
#include "ce/shell.h"

#include "ce/handheld_screen.h"

namespace {

HHOOK g_placementHook;  // the user-interface thread's; set at start-up, gone once used

LRESULT CALLBACK PlaceLikeTheHandheld(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    const HHOOK hook = g_placementHook;
    if (code == HC_ACTION && call->message == WM_CREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(call->lParam);
        const bool overlapped = (create->style & (WS_CHILD | WS_POPUP)) == 0;
        if (overlapped && create->hwndParent == nullptr) {
            SetWindowPos(call->hwnd, nullptr, kScreenLeft, kScreenTop + kTaskBarHeight,
                         kScreenWidth, kScreenHeight - kTaskBarHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            UnhookWindowsHookEx(hook);
            g_placementHook = nullptr;
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

BOOL SHInitExtraControls()
{
    if (g_placementHook == nullptr)
        g_placementHook = SetWindowsHookExW(WH_CALLWNDPROC, PlaceLikeTheHandheld, nullptr,
                                            GetCurrentThreadId());
    return TRUE;
}
