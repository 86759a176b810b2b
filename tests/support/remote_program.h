// The program, build/bin/remote.exe, run as a child process and driven from
// the test: its window, its list's contents read across the process
// boundary, keys delivered to its list, its message boxes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

class RemoteProgram {
public:
    // Starts the program and waits until its window is up.
    RemoteProgram();
    ~RemoteProgram();  // ends the program if it still runs
    RemoteProgram(const RemoteProgram&) = delete;
    RemoteProgram& operator=(const RemoteProgram&) = delete;

    HWND Window() const { return m_window; }
    HWND List() const;
    ChildProcess& Process() { return *m_process; }

    std::vector<std::wstring> Items() const;
    std::wstring Title() const;
    bool HeaderShown() const;
    int Selected() const;

    // A key handled to its end, or posted, for a pick that opens a box.
    void Key(WPARAM key) const;
    void PostKey(WPARAM key) const;

    // Waits until the list shows `items`; true when it does.
    bool WaitForItems(const std::vector<std::wstring>& items, DWORD timeoutMs) const;

private:
    std::wstring ReadRemoteText(UINT message, WPARAM wParam, int subItem) const;

    std::unique_ptr<ChildProcess> m_process;
    HWND m_window = nullptr;
};

// The message box with the caption "Remote" that a program shows, or null
// after `timeoutMs`.
HWND WaitForMessageBox(DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
void DismissMessageBox(HWND box);

// Top-level windows of the program's class.
int ProgramWindowCount();
