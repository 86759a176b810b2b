// A program of the build run as a child process, its standard input and
// output on pipes.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

class ChildProcess {
public:
    enum Streams { kPiped, kNone };

    // `program` is a file name in the directory of the running test, and
    // `arguments` its command-line arguments. A GUI program needs no pipes,
    // and should get none: the first one of a Wine session starts Wine's
    // desktop process, which may inherit them and keep the output open.
    ChildProcess(const std::wstring& program, const std::wstring& arguments,
                 Streams streams = kPiped);
    ~ChildProcess();  // ends the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    HANDLE Process() const { return m_process; }
    void CloseInput();
    // The exit code, or -1 when the child is still running after `timeoutMs`;
    // its output is then complete.
    long WaitForExit(DWORD timeoutMs);
    // Waits until the output holds `text`; true when it does.
    bool WaitForOutput(const std::string& text, DWORD timeoutMs);
    std::string Output() const;

private:
    static DWORD WINAPI CollectOutput(LPVOID self);

    HANDLE m_process = nullptr;
    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
    HANDLE m_collector = nullptr;
    HANDLE m_outputGrew;          // auto-reset; set after each chunk of output
    mutable std::mutex m_mutex;   // guards m_collected
    std::string m_collected;
};

// The directory of the running test executable, with a trailing backslash.
std::wstring TestBinDirectory();
