#include "testbed/child.h"

namespace {

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

