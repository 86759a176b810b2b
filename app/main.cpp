// Tarvane Remote: plays the phone end of the accessory-menu protocol, so
// that the handheld works as a remote control for the accessory.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "app/single_instance.h"
#include "ce/shell.h"
#include "res/resource.h"

namespace {

constexpr int kTitleSize = 20;
// List view, tree view, bar, up-down, progress, date and cool-bar classes.
constexpr DWORD kControlClasses = 0x537;

bool RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassW(&windowClass) != 0;
}

}  // namespace

// Every failure at start ends the program quietly with exit code 0.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, kControlClasses};
    InitCommonControlsEx(&controls);
    SHInitExtraControls();
    g_instance = instance;

    wchar_t title[kTitleSize];
    if (LoadStringW(instance, IDS_TITLE, title, kTitleSize) == 0)
        return 0;
    BOOL foundOther = FALSE;
    if (FAILED(EnsureSingleInstance(kMainWindowClass, title, &foundOther)) || foundOther)
        return 0;
    if (!RegisterMainWindowClass(instance))
        return 0;
    const HWND window = CreateWindowExW(0, kMainWindowClass, title, WS_CLIPCHILDREN,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    // GetMessageW's -1 keeps the loop going; only WM_QUIT's 0 ends it.
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
