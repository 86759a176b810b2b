#include "tests/support/recording_owner.h"

#include <string.h>

namespace {

constexpr wchar_t kOwnerClass[] = L"RecordingOwner";

void RegisterOwnerClass(WNDPROC windowProc)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kOwnerClass;
    RegisterClassW(&windowClass);  // fails harmlessly once registered
}

void PumpPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The text a notification carries, for the record.
std::string NotificationText(WORD code, LPARAM lParam)
{
    if (code == LN_LINE && lParam != 0)
        return reinterpret_cast<const char*>(lParam);
    if (code == LN_ITEM_CHOSEN)
        return std::to_string(lParam);
    return std::string();
}

}  // namespace

LRESULT TakeEveryLine(const Notification& notification, LPARAM)
{
    return notification.code == LN_LINE ? 1 : 0;
}

LRESULT LeaveEveryLine(const Notification&, LPARAM)
{
    return 0;
}

RecordingOwner::RecordingOwner(OwnerAnswer answer)
    : m_window(nullptr),
      m_recorded(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_answer(std::move(answer))
{
    RegisterOwnerClass(WindowProc);
    // A message-only window would do for the link, but a top-level one
    // behaves like the program's own owner.
    m_window = CreateWindowExW(0, kOwnerClass, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleW(nullptr), this);
}

RecordingOwner::~RecordingOwner()
{
    if (m_window != nullptr)
        DestroyWindow(m_window);
    CloseHandle(m_recorded);
}

void RecordingOwner::SetAnswer(OwnerAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answer = std::move(answer);
}

std::vector<Notification> RecordingOwner::Log() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_log;
}

void RecordingOwner::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.clear();
}

bool RecordingOwner::WaitFor(size_t count, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPendingMessages();
        if (Log().size() >= count)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        MsgWaitForMultipleObjects(1, &m_recorded, FALSE, static_cast<DWORD>(until - now),
                                  QS_ALLINPUT);
    }
}

LRESULT CALLBACK RecordingOwner::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_LINK_NOTIFY && self != nullptr)
        return self->OnLinkNotify(wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT RecordingOwner::OnLinkNotify(WPARAM wParam, LPARAM lParam)
{
    const Notification notification = {HIWORD(wParam), LOWORD(wParam),
                                       NotificationText(HIWORD(wParam), lParam)};
    OwnerAnswer answer;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        answer = m_answer;
    }
    const LRESULT result = answer(notification, lParam);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_log.push_back(notification);
    }
    SetEvent(m_recorded);
    return result;
}

OwnerThread::OwnerThread(OwnerAnswer answer)
    : m_answer(std::move(answer)),
      m_owner(nullptr),
      m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(CreateThread(nullptr, 0, Run, this, 0, &m_threadId))
{
    WaitForSingleObject(m_ready, INFINITE);
}

OwnerThread::~OwnerThread()
{
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    CloseHandle(m_ready);
}

DWORD WINAPI OwnerThread::Run(LPVOID param)
{
    auto* self = static_cast<OwnerThread*>(param);
    RecordingOwner owner(self->m_answer);
    self->m_owner = &owner;
    SetEvent(self->m_ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void PumpMessagesFor(DWORD milliseconds)
{
    const ULONGLONG until = GetTickCount64() + milliseconds;
    for (;;) {
        PumpPendingMessages();
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now),
                                  QS_ALLINPUT);
    }
}
