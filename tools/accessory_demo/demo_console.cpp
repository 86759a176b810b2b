#include "tools/accessory_demo/demo_console.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

HWND g_stopWindow;  // set once before either watcher starts

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    PostMessageW(g_stopWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

DWORD WINAPI WatchStandardInput(LPVOID)
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char ignored[256];
    DWORD read = 0;
    while (ReadFile(input, ignored, sizeof ignored, &read, nullptr) && read != 0) {
    }
    PostMessageW(g_stopWindow, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

void Report(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    putchar('\n');
    fflush(stdout);
}

void CloseOnStopRequest(HWND window)
{
    g_stopWindow = window;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const HANDLE watcher = CreateThread(nullptr, 0, WatchStandardInput, nullptr, 0, nullptr);
    if (watcher != nullptr)
        CloseHandle(watcher);
}
