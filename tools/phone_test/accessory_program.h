// The accessory under test as a program: run with sh -c in a process group
// of its own, its output to a file, and ended with its whole group.
#pragma once

#include <sys/types.h>

#include <string>

struct AccessoryProgram {
    pid_t pid = -1;
    int ended = -1;   // readable once the program has ended (a pidfd)
    int status = -1;  // its wait status, once reaped
};

// Every {} in `command` becomes `linePath`. Standard input is /dev/null,
// and both outputs go to `log`. False when it cannot be started at all.
bool StartAccessoryProgram(const std::string& command, const std::string& linePath,
                           const std::string& log, AccessoryProgram* program);

// Takes the program's status once `ended` is readable; true once it has ended.
bool ReapAccessoryProgram(AccessoryProgram* program);

// How it ended, for people: "exit status 3", "signal 9".
std::string EndedHow(const AccessoryProgram& program);

// SIGTERM to its group; SIGKILL after two seconds if the program is still
// there.
void StopAccessoryProgram(AccessoryProgram* program);
