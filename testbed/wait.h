// Waiting in the tests and the benchmark: a fine clock, and a poll for what
// nothing signals across processes.
#pragma once

#include <windows.h>

// Milliseconds on a monotonic clock, finer than the tick count.
double NowMs();

// Waits for a condition nothing signals (across processes), polling.
template <typename Condition>
bool Eventually(Condition condition, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= until)
            return false;
        Sleep(20);
    }
    return true;
}
