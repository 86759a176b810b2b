#include "tests/support/worker_thread.h"

WorkerThread::WorkerThread(std::function<void()> work)
    : m_work(std::move(work)), m_thread(CreateThread(nullptr, 0, Run, this, 0, nullptr))
{
}

WorkerThread::~WorkerThread()
{
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
}

void WorkerThread::JoinPumping()
{
    while (MsgWaitForMultipleObjects(1, &m_thread, FALSE, INFINITE, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

DWORD WINAPI WorkerThread::Run(LPVOID self)
{
    static_cast<WorkerThread*>(self)->m_work();
    return 0;
}
