// Counts of what the test process holds, to show that nothing leaks.
#pragma once

#include <stddef.h>

// Kernel handles open in this process. (Wine's GetProcessHandleCount
// reports 0, so this asks the system's handle table.)
size_t OpenHandleCount();

// Threads running in this process.
size_t ThreadCount();
