// remote.exe driven from outside, as the benchmark and the tests do: its
// window, its list read across the process boundary, keys delivered to the
// list, its message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testbed/child.h"

using Texts = std::vector<std::wstring>;

class RemoteProgram {
public:
    // Starts the program (by default remote.exe beside this one) and waits
    // until its window is up.
    explicit RemoteProgram(const std::wstring& program = L"remote.exe");
    ~RemoteProgram();  // closes it, or ends it
    RemoteProgram(const RemoteProgram&) = delete;
    RemoteProgram& operator=(const RemoteProgram&) = delete;

    HWND Window() const { return m_window; }
    HWND List() const { return GetDlgItem(m_window, 1000); }
    Child& Process() { return m_child; }

    Texts Items() const;
    std::wstring Item(int index) const;
    std::wstring Title() const;
    bool HeaderShown() const;
    int Selected() const;
    // A key handled to its end, or posted (for a pick that opens a box).
    void Key(WPARAM key) const { SendMessageW(List(), WM_KEYDOWN, key, 1); }
    void PostKey(WPARAM key) const { PostMessageW(List(), WM_KEYDOWN, key, 1); }
    // A key as the keyboard delivers it, to whichever of the program's
    // windows has the focus; false when none has.
    bool KeyAtFocus(WPARAM key) const;
    bool WaitForItems(const Texts& items, DWORD timeoutMs) const;
    // CPU time the program has used, in milliseconds, as Linux counts it
    // (see UnixCpuMs in testbed/process_figures.h); -1 when its process cannot be found.
    double CpuMs() const;
    // Its threads' wake-ups so far (see UnixWakeUps); -1 when unreadable.
    long long WakeUps() const;

private:
    std::wstring ReadText(UINT message, WPARAM wParam) const;
    const std::wstring& UnixPid() const;

    std::wstring m_tag;  // on its command line, to find it in /proc
    mutable std::wstring m_unixPid;  // found at the first CpuMs or WakeUps
    Child m_child;
    HWND m_window = nullptr;
};

// The text of the box captioned "Remote" that a program shows, after it has
// been dismissed; empty when none came within `timeoutMs`.
std::wstring DismissMessageBox(DWORD timeoutMs);
int ProgramWindowCount();

// The twenty port entries, `marked` with `suffix`.
Texts Ports(int marked = -1, const wchar_t* suffix = L"");
