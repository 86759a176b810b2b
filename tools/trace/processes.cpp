#include "tools/trace/processes.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// pid (comm) state ppid pgrp session tty_nr ...; comm may hold anything.
bool ReadStat(const char* pid, ProcessStat* process)
{
    char line[1024] = {};
    FILE* file = fopen(("/proc/" + std::string(pid) + "/stat").c_str(), "r");
    const bool read = file != nullptr && fgets(line, sizeof line, file) != nullptr;
    if (file != nullptr)
        fclose(file);
    const char* fields = read ? strrchr(line, ')') : nullptr;
    return fields != nullptr && sscanf(fields + 1, " %c %*d %d %d %u", &process->state,
                                       &process->group, &process->session,
                                       &process->terminal) == 4;
}

}  // namespace

bool FindProcess(const std::function<bool(const ProcessStat&)>& matches, ProcessStat* found)
{
    DIR* processes = opendir("/proc");
    bool seen = false;
    while (processes != nullptr && !seen) {
        const dirent* entry = readdir(processes);
        if (entry == nullptr)
            break;
        char* end = nullptr;
        ProcessStat process;
        process.pid = static_cast<pid_t>(strtol(entry->d_name, &end, 10));
        seen = process.pid > 0 && *end == '\0' && ReadStat(entry->d_name, &process) &&
               matches(process);
        if (seen)
            *found = process;
    }
    if (processes != nullptr)
        closedir(processes);
    return seen;
}
