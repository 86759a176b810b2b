#include "bench/program.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <stdio.h>

#include "bench/peer.h"

namespace {

constexpr wchar_t kProgramClass[] = L"ZezevevedArivez";
constexpr int kTextColumn = 2;
constexpr int kTextSize = 300;

int g_instances;  // programs this process has started

std::string ReadWholeFile(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read != 0)
        text.append(chunk, read);
    CloseHandle(file);
    return text;
}

// Wine shows a process's Windows command line, split into arguments, in
// /proc/PID/cmdline.
std::wstring UnixPidWithArgument(const std::wstring& argument)
{
    const std::string wanted = '\0' + std::string(argument.begin(), argument.end()) + '\0';
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return L"";
    std::wstring found;
    do {
        const std::wstring pid = entry.cFileName;
        if (pid.find_first_not_of(L"0123456789") == std::wstring::npos &&
            ReadWholeFile(L"Z:\\proc\\" + pid + L"\\cmdline").find(wanted) != std::string::npos)
            found = pid;
    } while (found.empty() && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

std::wstring TestDirectory()
{
    wchar_t path[MAX_PATH];
    std::wstring directory(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

}  // namespace

Child::Child(const std::wstring& program, const std::wstring& arguments, bool withStreams)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE childInput = nullptr;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    if (withStreams) {
        wchar_t directory[MAX_PATH], name[MAX_PATH];
        GetTempPathW(MAX_PATH, directory);
        GetTempFileNameW(directory, L"out", 0, name);
        m_output = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               &inheritable, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        CreatePipe(&childInput, &m_input, &inheritable, 0);
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = startup.hStdError = m_output;
    }
    const bool isPath = program.find_first_of(L"\\:") != std::wstring::npos;
    std::wstring commandLine =
        L"\"" + (isPath ? program : TestDirectory() + program) + L"\" " + arguments;
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, withStreams, 0, nullptr,
                       nullptr, &startup, &started)) {
        m_process = started.hProcess;
        CloseHandle(started.hThread);
    }
    if (childInput != nullptr)
        CloseHandle(childInput);
}

Child::~Child()
{
    CloseInput();
    if (m_process != nullptr) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process, 255);
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
    if (m_output != nullptr)
        CloseHandle(m_output);
}

void Child::CloseInput()
{
    if (m_input != nullptr)
        CloseHandle(m_input);
    m_input = nullptr;
}

long Child::WaitForExit(DWORD timeoutMs)
{
    DWORD code = 0;
    if (m_process == nullptr || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_process, &code))
        return -1;
    return static_cast<long>(code);
}

std::string Child::Output() const
{
    std::string output;
    char chunk[4096];
    DWORD read = 0;
    OVERLAPPED at = {};  // reads from the start, whatever the child's position
    while (ReadFile(m_output, chunk, sizeof chunk, &read, &at) && read != 0) {
        output.append(chunk, read);
        at.Offset += read;
    }
    return output;
}

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

double RemoteProgram::CpuMs() const
{
    if (m_unixPid.empty())
        m_unixPid = UnixPidWithArgument(m_tag);
    return m_unixPid.empty() ? -1 : UnixCpuMs(m_unixPid);
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

// Fields 14 and 15 of the stat line, user and system time, count clock
// ticks of 10 ms (Linux's USER_HZ); the command name before them may hold
// blanks, so they are counted from its closing parenthesis.
double UnixCpuMs(const std::wstring& unixPid)
{
    const std::string stat = ReadWholeFile(L"Z:\\proc\\" + unixPid + L"\\stat");
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return -1;
    unsigned long long user = 0, system = 0;
    if (sscanf(stat.c_str() + nameEnd + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
               &user, &system) != 2)
        return -1;
    return (user + system) * 10.0;
}

std::wstring DismissMessageBox(DWORD timeoutMs)
{
    HWND box = nullptr;
    if (!Eventually([&] { return (box = FindWindowW(L"#32770", L"Remote")) != nullptr; },
                    timeoutMs))
        return L"";
    wchar_t text[kTextSize] = {};
    GetWindowTextW(GetDlgItem(box, 0xFFFF), text, kTextSize);  // the box's static text
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

// Wine's GetProcessHandleCount reports 0, so this asks the system's table.
size_t HandleCount(DWORD processId)
{
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    using Query = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> table(1 << 20);
    ULONG needed = 0;
    while (query(16 /* SystemHandleInformation */, table.data(),
                 static_cast<ULONG>(table.size()), &needed) != 0)
        table.resize(table.size() * 2);
    const ULONG count = *reinterpret_cast<const ULONG*>(table.data());
    const auto* entries = reinterpret_cast<const Entry*>(table.data() + sizeof(void*));
    size_t own = 0;
    for (ULONG i = 0; i < count; ++i)
        own += entries[i].process == processId;
    return own;
}

size_t ThreadCount(DWORD processId)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

size_t CommittedKb(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters);
    return counters.PagefileUsage / 1024;  // what it has committed
}
