// A Win32 thread running one function, joinable while the caller keeps its
// own windows answering.
#pragma once

#include <windows.h>

#include <functional>

class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work);
    ~WorkerThread();  // joins
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Waits for the work to end while dispatching this thread's messages.
    void JoinPumping();

private:
    static DWORD WINAPI Run(LPVOID self);

    std::function<void()> m_work;
    HANDLE m_thread;
};
