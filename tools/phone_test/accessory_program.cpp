#include "tools/phone_test/accessory_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kTermWaitMs = 2000;

std::string Substituted(const std::string& command, const std::string& linePath)
{
    std::string result;
    for (size_t at = 0; at < command.size(); ++at) {
        if (command.compare(at, 2, "{}") == 0) {
            result += linePath;
            ++at;
        } else {
            result += command[at];
        }
    }
    return result;
}

}  // namespace

// The group lets the end reach whatever the command starts; the signals
// this program blocks or catches are the defaults again in the child.
bool StartAccessoryProgram(const std::string& command, const std::string& linePath,
                           const std::string& log, AccessoryProgram* program)
{
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string line = Substituted(command, linePath);
    char* const arguments[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                               const_cast<char*>(line.c_str()), nullptr};
    const int failed =
        posix_spawn(&program->pid, "/bin/sh", &files, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        program->pid = -1;
        return false;
    }
    // The library's own declaration of pidfd_open is not C++'s to link.
    program->ended = static_cast<int>(syscall(SYS_pidfd_open, program->pid, 0));
    return program->ended >= 0;
}

bool ReapAccessoryProgram(AccessoryProgram* program)
{
    if (program->status < 0 && program->pid > 0) {
        int status = 0;
        if (waitpid(program->pid, &status, WNOHANG) == program->pid)
            program->status = status;
    }
    return program->status >= 0;
}

std::string EndedHow(const AccessoryProgram& program)
{
    if (WIFSIGNALED(program.status))
        return "signal " + std::to_string(WTERMSIG(program.status));
    return "exit status " + std::to_string(WEXITSTATUS(program.status));
}

void StopAccessoryProgram(AccessoryProgram* program)
{
    if (program->pid <= 0)
        return;
    if (!ReapAccessoryProgram(program)) {
        kill(-program->pid, SIGTERM);
        pollfd ended = {program->ended, POLLIN, 0};
        if (poll(&ended, 1, kTermWaitMs) != 1)
            kill(-program->pid, SIGKILL);
        waitpid(program->pid, &program->status, 0);
    }
    close(program->ended);
    program->ended = -1;
}
