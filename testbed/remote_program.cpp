#include "testbed/remote_program.h"

#include <commctrl.h>

#include "testbed/process_figures.h"
#include "testbed/wait.h"

namespace {

constexpr wchar_t kProgramClass[] = L"ZezevevedArivez";
constexpr int kTextColumn = 2;
constexpr int kTextSize = 300;

int g_instances;  // programs this process has started

}  // namespace

// A tag on the command line, which the program does not read, tells its
// process apart in /proc.
RemoteProgram::RemoteProgram(const std::wstring& program)
    : m_tag(L"/instance:" + std::to_wstring(GetCurrentProcessId()) + L"." +
            std::to_wstring(g_instances++)),
      m_child(program, m_tag, false)
{
    // Found while still being created, the window is ready once shown.
    Eventually(
        [this] {
            m_window = FindWindowW(kProgramClass, L"Tarvane Remote");
            return m_window != nullptr && IsWindowVisible(m_window) && List() != nullptr;
        },
        10000);
}

RemoteProgram::~RemoteProgram()
{
    if (IsWindow(m_window))
        PostMessageW(m_window, WM_COMMAND, IDOK, 0);
    m_child.WaitForExit(5000);
}

// A list view takes pointers: the request and its text live in the
// program's memory for the length of one message.
std::wstring RemoteProgram::ReadText(UINT message, WPARAM wParam) const
{
    const HANDLE process = m_child.Process();
    const size_t size = sizeof(LVITEMW) + kTextSize * sizeof(wchar_t);
    auto* remote =
        static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    LVITEMW item = {};  // an LVCOLUMNW's text fields fall on the same places
    if (message == LVM_GETCOLUMNW) {
        auto* column = reinterpret_cast<LVCOLUMNW*>(&item);
        column->mask = LVCF_TEXT;
        column->pszText = remoteText;
        column->cchTextMax = kTextSize;
    } else {
        item.iSubItem = kTextColumn;
        item.pszText = remoteText;
        item.cchTextMax = kTextSize;
    }
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    SendMessageW(List(), message, wParam, reinterpret_cast<LPARAM>(remote));
    wchar_t text[kTextSize] = {};
    ReadProcessMemory(process, remoteText, text, sizeof text - sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

std::wstring RemoteProgram::Item(int index) const
{
    return ReadText(LVM_GETITEMTEXTW, index);
}

Texts RemoteProgram::Items() const
{
    Texts items;
    const int count = static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        items.push_back(Item(i));
    return items;
}

std::wstring RemoteProgram::Title() const
{
    return ReadText(LVM_GETCOLUMNW, kTextColumn);
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

const std::wstring& RemoteProgram::UnixPid() const
{
    if (m_unixPid.empty())
        m_unixPid = UnixPidWithArgument(m_tag);
    return m_unixPid;
}

double RemoteProgram::CpuMs() const
{
    return UnixPid().empty() ? -1 : UnixCpuMs(UnixPid());
}

long long RemoteProgram::WakeUps() const
{
    return UnixPid().empty() ? -1 : UnixWakeUps(UnixPid());
}

bool RemoteProgram::KeyAtFocus(WPARAM key) const
{
    GUITHREADINFO input = {};
    input.cbSize = sizeof input;
    return GetGUIThreadInfo(GetWindowThreadProcessId(m_window, nullptr), &input) &&
           input.hwndFocus != nullptr && PostMessageW(input.hwndFocus, WM_KEYDOWN, key, 1);
}

bool RemoteProgram::WaitForItems(const Texts& items, DWORD timeoutMs) const
{
    return Eventually([&] { return Items() == items; }, timeoutMs);
}

std::wstring DismissMessageBox(DWORD timeoutMs)
{
    // The box's window is there before its text is (its static control is
    // made after it): a box counts once its text can be read.
    HWND box = nullptr;
    wchar_t text[kTextSize] = {};
    if (!Eventually([&] {
            box = FindWindowW(L"#32770", L"Remote");
            return box != nullptr &&
                   GetWindowTextW(GetDlgItem(box, 0xFFFF), text, kTextSize) != 0;
        }, timeoutMs))
        return L"";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Eventually([box] { return !IsWindow(box); }, 5000);
    return text;
}

int ProgramWindowCount()
{
    int count = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, kProgramClass, nullptr)) != nullptr;)
        ++count;
    return count;
}

Texts Ports(int marked, const wchar_t* suffix)
{
    Texts entries;
    for (int port = 0; port < 20; ++port) {
        std::wstring entry = (port < 10 ? L"COM" : L"BSP") + std::to_wstring(port % 10) + L":";
        entries.push_back(port == marked ? entry + suffix : entry);
    }
    return entries;
}

