// The accessory under test as a program: run with sh -c in a process group
// of its own, its output to a file, and ended with its whole group, also when
// the phone-test itself is ended by force.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

// sh's number is its group's too. It is reaped only once its group has
// been ended: until then the zombie keeps the number from every other
// process, so that the group's end reaches no one else's group.
struct AccessoryProgram {
    pid_t pid = -1;
    int ended = -1;          // readable once sh has ended (a pidfd)
    bool hasEnded = false;   // once it has, how: si_code and si_status of `end`
    siginfo_t end = {};
    int keeper = -1;         // the keeper's channel (see StartAccessoryProgram)
};

// Every {} in `command` becomes `linePath`, a link to the far end of the
// line, `lineEnd`. Standard input is /dev/null, and both outputs go to
// `log`. False when it cannot be started at all. A keeper process outlives
// this one: should this one end without stopping the program (SIGKILL, a
// crash), the keeper removes the link at `linePath` and ends the program's
// group, so that an accessory that opens its line again by that name never
// finds a pty the system has since given to someone's terminal (the keeper
// holds the line's far end until then, which keeps its number); and then
// the run's folder, as RemoveRunFolderIfQuiet does.
bool StartAccessoryProgram(const std::string& command, const std::string& linePath,
                           int lineEnd, const std::string& log, AccessoryProgram* program);

// The line made again after a drop: the keeper holds its far end, `lineEnd`,
// instead of the last line's.
void HandLineEndToKeeper(const AccessoryProgram& program, int lineEnd);

// Learns whether sh has ended, and how, without reaping it.
bool NoteProgramEnd(AccessoryProgram* program);

// How it ended, for people: "exit status 3", "signal 9".
std::string EndedHow(const AccessoryProgram& program);

// SIGTERM to its group; SIGKILL to whatever of the group is still there two
// seconds later; then sh is reaped.
void StopAccessoryProgram(AccessoryProgram* program);

// Once the run is over: its folder, which holds the line's path and the
// program's output `log`, is removed when the program wrote nothing there,
// and kept, with what it wrote, otherwise.
void RemoveRunFolderIfQuiet(const std::string& log);
