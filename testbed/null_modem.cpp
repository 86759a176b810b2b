#include "testbed/null_modem.h"

#include <string.h>

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
    std::wstring command = L"Z:\\bin\\kill " + std::wstring(pid, pid + strcspn(pid, "\n"));
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
