#include "tools/trace/clock_and_signals.h"

#include <time.h>

namespace {

// Set by the handler, or by StopAsked for one that waits; read by the
// main thread's loops and waits.
volatile sig_atomic_t g_stopSignal = 0;
// Written once by CatchStopSignals, before any wait reads them.
sigset_t g_waking;
sigset_t g_stopSignals;

void AskStop(int stopSignal)
{
    g_stopSignal = stopSignal;
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
    sigemptyset(&g_stopSignals);
    for (const int stopSignal : stopSignals)
        sigaddset(&g_stopSignals, stopSignal);
    sigprocmask(SIG_BLOCK, &g_stopSignals, &g_waking);
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
    sigset_t pending;
    if (g_stopSignal == 0 && sigpending(&pending) == 0) {
        for (int stopSignal = 1; g_stopSignal == 0 && stopSignal < NSIG; ++stopSignal) {
            if (sigismember(&pending, stopSignal) == 1 &&
                sigismember(&g_stopSignals, stopSignal) == 1)
                g_stopSignal = stopSignal;
        }
    }
    return g_stopSignal != 0;
}

const char* StopSignalName()
{
    switch (g_stopSignal) {
    case 0: return "";
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    }
    return "a signal";
}

const sigset_t* WakingMask()
{
    return &g_waking;
}
