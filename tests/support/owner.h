// An owner window for a link under test: records every notification as one
// line of text, Wine-test style, and answers as the test tells it.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/accessory_link.h"

// Answers a notification; may write to lParam (the text of a title or item).
using OwnerAnswer = std::function<LRESULT(WORD code, WORD value, LPARAM lParam)>;

inline LRESULT TakeEveryLine(WORD code, WORD, LPARAM) { return code == LN_LINE; }
inline LRESULT LeaveEveryLine(WORD, WORD, LPARAM) { return 0; }

class Owner {
public:
    enum Where { kThisThread, kOwnThread };

    // On its own thread the owner answers at any time; on this one, only
    // while this thread pumps messages (Wait and PumpFor do).
    explicit Owner(Where where, OwnerAnswer answer = TakeEveryLine);
    ~Owner();
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    HWND Window() const { return m_window; }
    void SetAnswer(OwnerAnswer answer);
    // Each entry "line <length> <text>", "title <menu>", "exists <menu>",
    // "selection <menu>", "item <n>", "chosen <menu> <item>" or "device <1|0>".
    std::vector<std::string> Log(bool withLines = true) const;
    void ClearLog();
    // Pumps this thread's messages until `count` entries are on record.
    bool WaitFor(size_t count, DWORD timeoutMs);

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    static DWORD WINAPI Run(LPVOID self);
    void CreateOwnerWindow();
    LRESULT OnLinkNotify(WPARAM wParam, LPARAM lParam);

    // m_window is written before the constructor returns, then read-only.
    HWND m_window = nullptr;
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    HANDLE m_recorded;  // auto-reset; set after each entry
    // Touched by the window's thread and the test: under m_mutex.
    mutable std::mutex m_mutex;
    std::vector<std::string> m_log;
    OwnerAnswer m_answer;
};

// Pumps the calling thread's messages for `milliseconds`.
void PumpFor(DWORD milliseconds);
// Runs `work` on another thread while this one keeps its windows answering.
void RunPumping(const std::function<void()>& work);
