// What another process holds and spends, read from outside: to show that
// nothing leaks and nothing spins.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <string>

// The Linux pid of the Wine process whose command line holds `argument`:
// Wine shows a process's Windows command line, split into arguments, in
// /proc/PID/cmdline. Empty when there is none.
std::wstring UnixPidWithArgument(const std::wstring& argument);

// CPU time a process has used, in milliseconds, read from /proc/PID/stat
// through Wine's Z: drive: under Wine, GetProcessTimes of another process
// reads near zero. -1 when unreadable.
double UnixCpuMs(const std::wstring& unixPid);

// How often the process's threads have gone to sleep and been woken, as
// Linux counts them (the voluntary context switches in
// /proc/PID/task/*/status): a thread that naps in a loop shows here however
// little CPU it uses. -1 when unreadable.
long long UnixWakeUps(const std::wstring& unixPid);

// Kernel handles (Wine's GetProcessHandleCount reports 0, so these come
// from the system's table), threads, and committed memory.
size_t HandleCount(DWORD processId);
size_t ThreadCount(DWORD processId);
size_t CommittedKb(HANDLE process);
