// The trace tools' clock, and how they are told to end: a stop signal only
// sets a flag, and comes through only while a tool sleeps in a wait that
// lets it in, so that it never cuts a write or a read short elsewhere.
#pragma once

#include <signal.h>
#include <stdint.h>

#include <initializer_list>

// Milliseconds on the monotonic clock.
uint64_t MonotonicMs();

// From here on each of `stopSignals` sets StopAsked(), and is blocked but
// inside a ppoll given WakingMask(). A write to a reader that has gone
// fails, and ends nothing.
void CatchStopSignals(std::initializer_list<int> stopSignals);
// Also when a stop signal waits, blocked, for a wait that lets it in.
bool StopAsked();
// The signal that asked, as SIGTERM; empty before one has.
const char* StopSignalName();
const sigset_t* WakingMask();
