// A parent window for the choice list that records, Wine-test style, the
// picks it receives and its answers to the list's key and activation
// notifications.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

enum ParentEventKind { kPick, kKeyDown, kActivate };

struct ParentEvent {
    ParentEventKind kind;
    LPARAM value;    // pick: item index; key down: key code
    LRESULT result;  // notifications: what the parent answered
    WPARAM wParam;   // pick: the whole wParam
};

class ListParent {
public:
    // A parent with a 240x320 client area holding a choice list over all of
    // it, as the program's main window does.
    ListParent();
    ~ListParent();
    ListParent(const ListParent&) = delete;
    ListParent& operator=(const ListParent&) = delete;

    HWND Window() const { return m_window; }
    HWND List() const { return m_list; }
    const std::vector<ParentEvent>& Events() const { return m_events; }
    void ClearEvents() { m_events.clear(); }

    void AddItems(int count);
    void Key(WPARAM key);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);
    LRESULT OnNotify(const NMHDR* header);

    HWND m_window;
    HWND m_list;
    std::vector<ParentEvent> m_events;
};

struct ExpectedEvent {
    ParentEventKind kind;
    LPARAM value;
    LRESULT result;
};

void CheckParentEvents(const std::vector<ParentEvent>& received,
                       const std::vector<ExpectedEvent>& expected, const char* file,
                       int line);

#define EXPECT_PARENT_EVENTS(parent, ...) \
    CheckParentEvents((parent).Events(), __VA_ARGS__, __FILE__, __LINE__)
