#include "testbed/process_figures.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace {

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

}  // namespace

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

long long UnixWakeUps(const std::wstring& unixPid)
{
    const std::wstring tasks = L"Z:\\proc\\" + unixPid + L"\\task\\";
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((tasks + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    long long wakeUps = 0;
    do {
        if (entry.cFileName[0] == L'.')
            continue;  // . and ..: threads have numbers
        const std::string status = ReadWholeFile(tasks + entry.cFileName + L"\\status");
        constexpr char kField[] = "\nvoluntary_ctxt_switches:";
        const size_t field = status.find(kField);
        if (field != std::string::npos)
            wakeUps += atoll(status.c_str() + field + sizeof kField - 1);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return wakeUps;
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
