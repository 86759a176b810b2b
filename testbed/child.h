// Programs of the build run as child processes of a test or the benchmark.
#pragma once

#include <windows.h>

#include <string>

class Child {
public:
    // `program` is a path, or a file beside the running program. With streams, standard
    // input is a pipe and the output goes to a file. A GUI program should get
    // none: the first one of a Wine session starts Wine's desktop process,
    // which would inherit them and keep them open.
    Child(const std::wstring& program, const std::wstring& arguments, bool withStreams);
    ~Child();  // ends the child if it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    HANDLE Process() const { return m_process; }
    DWORD Id() const { return GetProcessId(m_process); }
    void CloseInput();
    // The exit code, or -1 while it runs after `timeoutMs`.
    long WaitForExit(DWORD timeoutMs);
    std::string Output() const;

private:
    HANDLE m_process = nullptr;
    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
};
