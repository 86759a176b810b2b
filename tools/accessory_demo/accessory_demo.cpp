// accessory-demo DEVICE: a slide show that registers the menu entry
// "Slides" on the phone at the other end of DEVICE (a handheld device name
// such as COM6: or BSP2:) and lets the phone drive it through its menus.
//
// The link sends its queries to a hidden window on this thread; a worker
// thread opens the link and shows the first menu, since only a command from
// a thread other than the owner's and the reader's gets its "OK".
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "link/accessory_link.h"
#include "tools/accessory_demo/demo_console.h"
#include "tools/accessory_demo/slide_show.h"

namespace {

constexpr wchar_t kWindowClass[] = L"AccessoryDemo";
constexpr char kEntryName[] = "Slides";
// Its captions are UTF-8; the phone is told so before it is shown any.
constexpr char kDeclareCharacterSet[] = "AT+CSCS=\"UTF-8\"";
constexpr UINT WM_ACCESSORY_STARTED = WM_APP + 2;  // wParam: Open's result

// Main thread only, but for g_link's creation before the worker starts.
SlideShow g_show;
AccessoryLink* g_link;
int g_menuBeingSent;             // the menu the link is asking about
std::string g_itemsBeingSent;    // its items so far, for the log
int g_exitCode;

void CopyText(const std::string& text, LPARAM buffer)
{
    strncpy(reinterpret_cast<char*>(buffer), text.c_str(), kLinkTextBufferSize - 1);
}

LRESULT OnLine(const char* line)
{
    Report("phone: %s", line);
    return 0;  // left to the link: replies and indications are its business
}

LRESULT OnMenuTitle(int menu, LPARAM buffer)
{
    g_menuBeingSent = menu;
    g_itemsBeingSent.clear();
    const std::string title = g_show.Title(menu);
    CopyText(title, buffer);
    return !title.empty();
}

LRESULT OnItemText(int item, LPARAM buffer)
{
    std::string text;
    if (!g_show.ItemText(g_menuBeingSent, item, &text)) {
        Report("accessory: menu %d \"%s\": %s", g_menuBeingSent,
               g_show.Title(g_menuBeingSent).c_str(), g_itemsBeingSent.c_str());
        return 0;
    }
    g_itemsBeingSent += (item > 1 ? ", " : "") + text;
    CopyText(text, buffer);
    return 1;
}

LRESULT OnItemChosen(int menu, int item)
{
    std::string action;
    const int next = g_show.Choose(menu, item, &action);
    if (next == kResendWithFreshTitle)
        Report("accessory: pick %d in menu %d: %s; resending as \"%s\"", item, menu,
               action.c_str(), g_show.Title(menu).c_str());
    else if (next == kCurrentMenuAgain)
        Report("accessory: pick %d in menu %d: %s; showing it again", item, menu,
               action.c_str());
    else
        Report("accessory: pick %d in menu %d: %s; showing menu %d", item, menu,
               action.c_str(), next);
    return next;
}

// A phone that has been away may have forgotten the character set: it is
// declared again before the link registers and resends the menu.
void OnDeviceState(bool open)
{
    Report(open ? "accessory: the line is back" : "accessory: the line is gone");
    if (open)
        g_link->WriteLine(kDeclareCharacterSet);
}

LRESULT OnLinkNotify(WPARAM wParam, LPARAM lParam)
{
    const int value = LOWORD(wParam);
    switch (HIWORD(wParam)) {
    case LN_LINE: return OnLine(reinterpret_cast<const char*>(lParam));
    case LN_MENU_TITLE: return OnMenuTitle(value, lParam);
    case LN_MENU_EXISTS: return g_show.HasMenu(value);
    case LN_MENU_SELECTION: return g_show.Selection(value);
    case LN_ITEM_TEXT: return OnItemText(value, lParam);
    case LN_ITEM_CHOSEN: return OnItemChosen(value, static_cast<int>(lParam));
    case LN_DEVICE_STATE: OnDeviceState(value != 0); return 0;
    }
    return 0;
}

void OnAccessoryStarted(BOOL opened)
{
    if (opened)
        return;
    Report("accessory: the device cannot be opened");
    g_exitCode = 1;
    PostQuitMessage(0);
}

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LINK_NOTIFY: return OnLinkNotify(wParam, lParam);
    case WM_ACCESSORY_STARTED: OnAccessoryStarted(static_cast<BOOL>(wParam)); return 0;
    case WM_CLOSE: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI StartAccessory(LPVOID window)
{
    const int opened = g_link->Open(kEntryName);
    if (opened) {
        g_link->SendCommand(kDeclareCharacterSet);
        g_link->ShowMenu(kSlidesMenu);
    }
    PostMessageW(static_cast<HWND>(window), WM_ACCESSORY_STARTED, opened, 0);
    return 0;
}

HWND CreateOwnerWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassW(&windowClass))
        return nullptr;
    return CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           instance, nullptr);
}

void RunMessageLoop()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

// The worker needs this thread to answer the link while it finishes.
void WaitAnswering(HANDLE thread)
{
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: accessory-demo DEVICE   (for example COM6: or BSP2:)\n");
        return 2;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HWND window = CreateOwnerWindow(instance);
    g_link = window ? CreateAccessoryLink(argv[1], window, WM_LINK_NOTIFY) : nullptr;
    if (g_link == nullptr) {
        fprintf(stderr, "accessory-demo: out of resources\n");
        return 1;
    }
    Report("accessory: opening %ls as \"%s\"", argv[1], kEntryName);
    CloseOnStopRequest(window);
    const HANDLE worker = CreateThread(nullptr, 0, StartAccessory, window, 0, nullptr);
    if (worker == nullptr)
        return 1;

    RunMessageLoop();

    WaitAnswering(worker);
    CloseHandle(worker);
    g_link->Close();
    delete g_link;
    DestroyWindow(window);
    Report("accessory: stopped");
    return g_exitCode;
}
