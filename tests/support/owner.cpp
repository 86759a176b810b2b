#include "tests/support/owner.h"


namespace {

constexpr wchar_t kOwnerClass[] = L"RecordingOwner";

void PumpPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::string Describe(WORD code, WORD value, LPARAM lParam)
{
    static const char* const kNames[] = {"?",         "line",   "exists", "item",
                                         "title",     "selection", "chosen", "device"};
    if (code == LN_LINE)
        return "line " + std::to_string(value) + " " + reinterpret_cast<const char*>(lParam);
    if (code == LN_ITEM_CHOSEN)
        return "chosen " + std::to_string(value) + " " + std::to_string(lParam);
    return std::string(code < 8 ? kNames[code] : "?") + " " + std::to_string(value);
}

}  // namespace

Owner::Owner(Where where, OwnerAnswer answer)
    : m_recorded(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_answer(std::move(answer))
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = kOwnerClass;
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    if (where == kThisThread) {
        CreateOwnerWindow();
        return;
    }
    m_thread = CreateThread(nullptr, 0, Run, this, 0, &m_threadId);
    WaitForSingleObject(m_recorded, INFINITE);  // the window exists
}

Owner::~Owner()
{
    if (m_thread != nullptr) {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    } else {
        DestroyWindow(m_window);
    }
    CloseHandle(m_recorded);
}

void Owner::CreateOwnerWindow()
{
    m_window = CreateWindowExW(0, kOwnerClass, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, nullptr, this);
}

DWORD WINAPI Owner::Run(LPVOID param)
{
    auto* self = static_cast<Owner*>(param);
    self->CreateOwnerWindow();
    SetEvent(self->m_recorded);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    DestroyWindow(self->m_window);
    return 0;
}

void Owner::SetAnswer(OwnerAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answer = std::move(answer);
}

std::vector<std::string> Owner::Log(bool withLines) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::string> log;
    for (const std::string& entry : m_log) {
        if (withLines || entry.compare(0, 5, "line ") != 0)
            log.push_back(entry);
    }
    return log;
}

void Owner::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.clear();
}

bool Owner::WaitFor(size_t count, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (Log().size() >= count)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        MsgWaitForMultipleObjects(1, &m_recorded, FALSE, static_cast<DWORD>(until - now),
                                  QS_ALLINPUT);
    }
}

LRESULT CALLBACK Owner::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                              reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_LINK_NOTIFY && self != nullptr)
        return self->OnLinkNotify(wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Owner::OnLinkNotify(WPARAM wParam, LPARAM lParam)
{
    const std::string entry = Describe(HIWORD(wParam), LOWORD(wParam), lParam);
    OwnerAnswer answer;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        answer = m_answer;
    }
    const LRESULT result = answer(HIWORD(wParam), LOWORD(wParam), lParam);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_log.push_back(entry);
    }
    SetEvent(m_recorded);
    return result;
}

void PumpFor(DWORD milliseconds)
{
    const ULONGLONG until = GetTickCount64() + milliseconds;
    for (ULONGLONG now; PumpPending(), (now = GetTickCount64()) < until;)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now),
                                  QS_ALLINPUT);
}

void RunPumping(const std::function<void()>& work)
{
    const HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID param) -> DWORD {
            (*static_cast<const std::function<void()>*>(param))();
            return 0;
        },
        const_cast<std::function<void()>*>(&work), 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        PumpPending();
    CloseHandle(thread);
}
