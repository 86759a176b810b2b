#include "tools/trace/clock_and_signals.h"

#include <time.h>

namespace {

// Set by the handler; read by the main thread's loops and waits.
volatile sig_atomic_t g_stopAsked = 0;
// Written once by CatchStopSignals, before any wait reads it.
sigset_t g_waking;

void AskStop(int)
{
    g_stopAsked = 1;
}

}  // namespace

uint64_t MonotonicMs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void CatchStopSignals(std::initializer_list<int> stopSignals)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int stopSignal : stopSignals)
        sigaddset(&blocked, stopSignal);
    sigprocmask(SIG_BLOCK, &blocked, &g_waking);
    struct sigaction stop = {};
    stop.sa_handler = AskStop;
    for (const int stopSignal : stopSignals) {
        sigdelset(&g_waking, stopSignal);
        sigaction(stopSignal, &stop, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
}

bool StopAsked()
{
    return g_stopAsked != 0;
}

const sigset_t* WakingMask()
{
    return &g_waking;
}
