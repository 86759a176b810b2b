#include "testbed/null_modem.h"

#include <string.h>

#include <algorithm>

#include "testbed/wait.h"

namespace {

std::wstring ModemFiles(const wchar_t* modem, const NullModemPair& pair)
{
    wchar_t path[MAX_PATH];
    const std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of(L'\\')) + L"\\..\\wine\\" + modem + L"\\" +
           pair.files;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The pair's two links, as a Unix shell names them: "Z:\dir\com3-com11"
// gives '/dir/com3' '/dir/com11'.
std::wstring UnixLinks(const std::wstring& files)
{
    std::wstring path = files.substr(files.find(L':') + 1);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    const size_t leaf = path.find_last_of(L'/') + 1, dash = path.find(L'-', leaf);
    return L"'" + path.substr(0, dash) + L"' '" + path.substr(0, leaf) + path.substr(dash + 1) +
           L"'";
}

}  // namespace

Outage::Outage(const wchar_t* modem, const NullModemPair& pair)
    : m_files(ModemFiles(modem, pair)), m_gone(false)
{
    CloseHandle(CreateFileW((m_files + L".away").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr));
    char pid[32] = {};
    DWORD read = 0;
    const HANDLE file = CreateFileW((m_files + L".pid").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ReadFile(file, pid, sizeof pid - 1, &read, nullptr);
    CloseHandle(file);
    // The links go before socat does: it frees its ptys before it removes
    // them, and the system hands a freed pty to the next that asks, so a
    // program opening its port again by the link in between would reach
    // another pair's line (another checkout's, say).
    std::wstring command = L"Z:\\bin\\sh -c \"rm -f " + UnixLinks(m_files) + L" && kill " +
                           std::wstring(pid, pid + strcspn(pid, "\n")) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (read != 0 && CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &started)) {
        m_gone = Eventually([&] { return !Exists(m_files + L".pid"); }, 5000);
        for (HANDLE handle : {started.hProcess, started.hThread}) {
            if (handle != nullptr)
                CloseHandle(handle);
        }
    }
}

void Outage::End()
{
    DeleteFileW((m_files + L".away").c_str());
    Eventually([&] { return Exists(m_files + L".pid"); }, 5000);
}
