// An owner window for a link that records every notification it receives,
// answers as the test tells it, and lets the test wait for what it expects.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/accessory_link.h"

struct Notification {
    WORD code;
    WORD value;
    std::string text;  // the line of LN_LINE; the item number of LN_ITEM_CHOSEN
};

// What the owner answers; given the notification and its lParam, which the
// answer may write to (the text buffer of LN_ITEM_TEXT and LN_MENU_TITLE).
using OwnerAnswer = std::function<LRESULT(const Notification&, LPARAM)>;

// Takes every line, answers everything else with 0.
LRESULT TakeEveryLine(const Notification& notification, LPARAM);
// Leaves every line to the link, answers everything else with 0.
LRESULT LeaveEveryLine(const Notification& notification, LPARAM);

class RecordingOwner {
public:
    // The window lives on the calling thread, which must pump its messages
    // (WaitFor does) for the owner to answer.
    explicit RecordingOwner(OwnerAnswer answer = TakeEveryLine);
    ~RecordingOwner();
    RecordingOwner(const RecordingOwner&) = delete;
    RecordingOwner& operator=(const RecordingOwner&) = delete;

    HWND Window() const { return m_window; }
    void SetAnswer(OwnerAnswer answer);
    std::vector<Notification> Log() const;
    void ClearLog();

    // Pumps this thread's messages until `count` notifications are on record
    // or `timeoutMs` has passed; true when they are.
    bool WaitFor(size_t count, DWORD timeoutMs);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);
    LRESULT OnLinkNotify(WPARAM wParam, LPARAM lParam);

    HWND m_window;
    HANDLE m_recorded;  // auto-reset; set after each notification is recorded
    mutable std::mutex m_mutex;  // guards m_log and m_answer
    std::vector<Notification> m_log;
    OwnerAnswer m_answer;
};

// A RecordingOwner on a thread of its own, which pumps its messages: the
// arrangement in which a command from a third thread gets its reply.
class OwnerThread {
public:
    explicit OwnerThread(OwnerAnswer answer = TakeEveryLine);
    ~OwnerThread();
    OwnerThread(const OwnerThread&) = delete;
    OwnerThread& operator=(const OwnerThread&) = delete;

    RecordingOwner& Owner() { return *m_owner; }
    HWND Window() const { return m_owner->Window(); }

private:
    static DWORD WINAPI Run(LPVOID self);

    OwnerAnswer m_answer;
    RecordingOwner* m_owner;
    HANDLE m_ready;
    HANDLE m_thread;
    DWORD m_threadId;
};

// Pumps the calling thread's messages for `milliseconds`.
void PumpMessagesFor(DWORD milliseconds);

// Milliseconds since `start`, a GetTickCount64 reading.
inline ULONGLONG MsSince(ULONGLONG start) { return GetTickCount64() - start; }
