#include "tests/support/child_process.h"

std::wstring TestBinDirectory()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments,
                           Streams streams)
    : m_outputGrew(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (streams == kPiped) {
        if (!CreatePipe(&childInput, &m_input, &inheritable, 0) ||
            !CreatePipe(&m_output, &childOutput, &inheritable, 0))
            return;
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
    }
    std::wstring commandLine = L"\"" + TestBinDirectory() + program + L"\" " + arguments;
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, streams == kPiped, 0,
                       nullptr, nullptr, &startup, &started)) {
        m_process = started.hProcess;
        CloseHandle(started.hThread);
    }
    if (streams == kPiped) {
        CloseHandle(childInput);
        CloseHandle(childOutput);
        m_collector = CreateThread(nullptr, 0, CollectOutput, this, 0, nullptr);
    }
}

ChildProcess::~ChildProcess()
{
    CloseInput();
    if (m_process != nullptr) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process, 255);
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
    if (m_collector != nullptr) {
        WaitForSingleObject(m_collector, INFINITE);
        CloseHandle(m_collector);
    }
    if (m_output != nullptr)
        CloseHandle(m_output);
    CloseHandle(m_outputGrew);
}

void ChildProcess::CloseInput()
{
    if (m_input != nullptr) {
        CloseHandle(m_input);
        m_input = nullptr;
    }
}

long ChildProcess::WaitForExit(DWORD timeoutMs)
{
    DWORD code = 0;
    if (m_process == nullptr || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_process, &code))
        return -1;
    // All it wrote is collected once the pipe's last writer has gone.
    if (m_collector != nullptr)
        WaitForSingleObject(m_collector, timeoutMs);
    return static_cast<long>(code);
}

bool ChildProcess::WaitForOutput(const std::string& text, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        if (Output().find(text) != std::string::npos)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        WaitForSingleObject(m_outputGrew, static_cast<DWORD>(until - now));
    }
}

std::string ChildProcess::Output() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_collected;
}

DWORD WINAPI ChildProcess::CollectOutput(LPVOID param)
{
    auto* self = static_cast<ChildProcess*>(param);
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(self->m_output, chunk, sizeof chunk, &read, nullptr) && read != 0) {
        {
            std::lock_guard<std::mutex> guard(self->m_mutex);
            self->m_collected.append(chunk, read);
        }
        SetEvent(self->m_outputGrew);
    }
    return 0;
}
