// The processes running, as /proc tells them, another user's too.
#pragma once

#include <sys/types.h>

#include <functional>

struct ProcessStat {
    pid_t pid = 0;
    char state = 0;  // Z for a zombie: ended, not yet reaped
    pid_t group = 0;
    pid_t session = 0;
    unsigned terminal = 0;  // its controlling terminal's number (tty_nr), 0 for none
};

// The first process for which `matches` holds, in *found; false when none.
bool FindProcess(const std::function<bool(const ProcessStat&)>& matches, ProcessStat* found);
