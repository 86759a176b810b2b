#include "tests/support/remote_program.h"

#include <commctrl.h>

namespace {

constexpr wchar_t kProgramClass[] = L"ZezevevedArivez";
constexpr wchar_t kProgramTitle[] = L"Tarvane Remote";
constexpr int kListId = 1000;
constexpr int kTextColumn = 2;
constexpr int kTextSize = 300;
constexpr int kMessageTextId = 0xFFFF;  // the static that holds a box's text

// Wait for a condition that nothing signals across the process boundary.
template <typename Condition>
bool PollFor(Condition condition, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= until)
            return false;
        Sleep(20);
    }
    return true;
}

}  // namespace

RemoteProgram::RemoteProgram()
    : m_process(new ChildProcess(L"remote.exe", L"", ChildProcess::kNone))
{
    if (!m_process->Started())
        return;
    // The window can be found while it is still being created: it is ready
    // once shown, with its list.
    HWND found = nullptr;
    PollFor(
        [&found] {
            found = FindWindowW(kProgramClass, kProgramTitle);
            return found != nullptr && IsWindowVisible(found) &&
                   GetDlgItem(found, kListId) != nullptr;
        },
        10000);
    m_window = found;
}

RemoteProgram::~RemoteProgram()
{
    if (IsWindow(m_window))
        PostMessageW(m_window, WM_COMMAND, IDOK, 0);
    m_process->WaitForExit(5000);
}

HWND RemoteProgram::List() const
{
    return GetDlgItem(m_window, kListId);
}

// The list view takes pointers: the request and its text buffer live in
// the program's memory for the length of one message.
std::wstring RemoteProgram::ReadRemoteText(UINT message, WPARAM wParam, int subItem) const
{
    const HANDLE process = m_process->Process();
    const size_t size = sizeof(LVITEMW) + kTextSize * sizeof(wchar_t);
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr)
        return L"<no memory>";
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    BYTE request[sizeof(LVITEMW)] = {};
    if (message == LVM_GETCOLUMNW) {
        auto* column = reinterpret_cast<LVCOLUMNW*>(request);
        column->mask = LVCF_TEXT;
        column->pszText = remoteText;
        column->cchTextMax = kTextSize;
    } else {
        auto* item = reinterpret_cast<LVITEMW*>(request);
        item->iSubItem = subItem;
        item->pszText = remoteText;
        item->cchTextMax = kTextSize;
    }
    WriteProcessMemory(process, remote, request, sizeof request, nullptr);
    SendMessageW(List(), message, wParam, reinterpret_cast<LPARAM>(remote));
    wchar_t text[kTextSize] = {};
    ReadProcessMemory(process, remoteText, text, sizeof text - sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

std::vector<std::wstring> RemoteProgram::Items() const
{
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        items.push_back(ReadRemoteText(LVM_GETITEMTEXTW, i, kTextColumn));
    return items;
}

std::wstring RemoteProgram::Title() const
{
    return ReadRemoteText(LVM_GETCOLUMNW, kTextColumn, 0);
}

bool RemoteProgram::HeaderShown() const
{
    return !(GetWindowLongPtrW(List(), GWL_STYLE) & LVS_NOCOLUMNHEADER);
}

int RemoteProgram::Selected() const
{
    return static_cast<int>(
        SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void RemoteProgram::Key(WPARAM key) const
{
    SendMessageW(List(), WM_KEYDOWN, key, 1);
}

void RemoteProgram::PostKey(WPARAM key) const
{
    PostMessageW(List(), WM_KEYDOWN, key, 1);
}

bool RemoteProgram::WaitForItems(const std::vector<std::wstring>& items, DWORD timeoutMs) const
{
    return PollFor([&] { return Items() == items; }, timeoutMs);
}

HWND WaitForMessageBox(DWORD timeoutMs)
{
    HWND box = nullptr;
    PollFor([&] { return (box = FindWindowW(L"#32770", L"Remote")) != nullptr; }, timeoutMs);
    return box;
}

std::wstring MessageBoxText(HWND box)
{
    wchar_t text[kTextSize] = {};
    GetWindowTextW(GetDlgItem(box, kMessageTextId), text, kTextSize);
    return text;
}

void DismissMessageBox(HWND box)
{
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    PollFor([box] { return !IsWindow(box); }, 5000);
}

int ProgramWindowCount()
{
    int count = 0;
    for (HWND window = FindWindowExW(nullptr, nullptr, kProgramClass, nullptr);
         window != nullptr; window = FindWindowExW(nullptr, window, kProgramClass, nullptr))
        ++count;
    return count;
}
