#include "tools/phone_test/accessory_program.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/trace/processes.h"

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

constexpr int kGroupLookMs = 50;  // no event tells when a group has emptied
constexpr int kKilledWaitMs = 1000;

// Whether a process of `group` runs (a zombie has ended) in `session`, the
// phone-test's. The session tells its group from another that took the
// number once sh was reaped by someone else: after the phone-test itself
// was killed, the system reaps its sh.
bool GroupRuns(pid_t group, pid_t session)
{
    ProcessStat found;
    return FindProcess(
        [&](const ProcessStat& process) {
            return process.group == group && process.session == session && process.state != 'Z';
        },
        &found);
}

void AwaitGroupEnd(pid_t group, pid_t session, int ms)
{
    for (int waited = 0; waited < ms && GroupRuns(group, session); waited += kGroupLookMs)
        usleep(kGroupLookMs * 1000);
}

// SIGTERM to the program's group, and SIGKILL to whatever is left of it two
// seconds later: a member that ignores SIGTERM goes too, whether or not sh
// has ended. Each is sent only while a process of the group runs.
void EndGroup(pid_t group, pid_t session)
{
    const struct {
        int signal;
        int waitMs;
    } steps[] = {{SIGTERM, kTermWaitMs}, {SIGKILL, kKilledWaitMs}};
    for (const auto& step : steps) {
        if (!GroupRuns(group, session))
            return;
        kill(-group, step.signal);
        AwaitGroupEnd(group, session, step.waitMs);
    }
}

// What the phone-test tells its keeper: the program was stopped, or (with
// the descriptor) the line was made again and its far end is to be held.
constexpr char kWordStopped = 1;
constexpr char kWordLineEnd = 2;

// A word of one byte, with room for a descriptor beside it; it points into
// itself, so it is never copied.
struct Word {
    explicit Word(char said) : byte(said)
    {
        part = {&byte, 1};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    Word(const Word&) = delete;
    Word& operator=(const Word&) = delete;

    char byte;
    iovec part = {};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message = {};
};

// One word, and the descriptor it carries (else -1); 0 once the phone-test
// has gone.
ssize_t ReceiveWord(int channel, char* byte, int* lineEnd)
{
    Word word(0);
    ssize_t got = 0;
    while ((got = recvmsg(channel, &word.message, 0)) < 0 && errno == EINTR) {
    }
    const cmsghdr* header = CMSG_FIRSTHDR(&word.message);
    *byte = word.byte;
    *lineEnd = -1;
    if (got > 0 && header != nullptr && header->cmsg_level == SOL_SOCKET &&
        header->cmsg_type == SCM_RIGHTS)
        memcpy(lineEnd, CMSG_DATA(header), sizeof *lineEnd);
    return got;
}

// In a session of its own, so that neither a signal to this program's group
// nor its terminal hanging up reaches it, and holding nothing of this
// program's but its end of the channel and the line's far end: it waits for
// this program's word, or for the channel to end with this program. While
// it holds the far end, the line's number is given to no other terminal,
// though the accessory may close its end as this program goes: the link is
// removed first.
void Keep(int channel, int lineEnd, pid_t group, const std::string& linePath,
          const std::string& log)
{
    const pid_t session = getsid(0);  // this program's, and the group's
    setsid();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::signal(signal, SIG_IGN);
    if (lineEnd == 3)
        lineEnd = fcntl(lineEnd, F_DUPFD, 5);
    dup2(channel, 3);
    if (dup2(lineEnd, 4) < 0)
        close(4);
    syscall(SYS_close_range, 5, ~0U, 0);
    // Its output's reader would wait for the keeper too.
    const int none = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (dup2(none, fd) < 0)
            close(fd);
    }
    close(none);
    for (;;) {
        char word = 0;
        int nextEnd = -1;
        const ssize_t got = ReceiveWord(3, &word, &nextEnd);
        if (got > 0 && word == kWordStopped)
            _exit(0);
        if (got <= 0)
            break;
        if (nextEnd >= 0) {
            dup2(nextEnd, 4);
            close(nextEnd);
        }
    }
    struct stat link = {};
    if (lstat(linePath.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        unlink(linePath.c_str());
    EndGroup(group, session);
    RemoveRunFolderIfQuiet(log);
    _exit(0);
}

int StartKeeper(pid_t group, const std::string& linePath, int lineEnd, const std::string& log)
{
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, channel) != 0)
        return -1;
    const pid_t keeper = fork();
    if (keeper == 0) {
        close(channel[1]);
        Keep(channel[0], lineEnd, group, linePath, log);
    }
    close(channel[0]);
    if (keeper < 0) {
        close(channel[1]);
        return -1;
    }
    return channel[1];
}

}  // namespace

// The group lets the end reach whatever the command starts; the signals
// this program blocks or catches are the defaults again in the child.
bool StartAccessoryProgram(const std::string& command, const std::string& linePath,
                           int lineEnd, const std::string& log, AccessoryProgram* program)
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
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD})
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
    program->keeper = StartKeeper(program->pid, linePath, lineEnd, log);
    if (program->ended >= 0 && program->keeper >= 0)
        return true;
    StopAccessoryProgram(program);
    return false;
}

void HandLineEndToKeeper(const AccessoryProgram& program, int lineEnd)
{
    if (program.keeper < 0)
        return;
    Word word(kWordLineEnd);
    cmsghdr* header = CMSG_FIRSTHDR(&word.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof lineEnd);
    memcpy(CMSG_DATA(header), &lineEnd, sizeof lineEnd);
    while (sendmsg(program.keeper, &word.message, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

void RemoveRunFolderIfQuiet(const std::string& log)
{
    struct stat output = {};
    if (stat(log.c_str(), &output) == 0 && output.st_size != 0)
        return;
    unlink(log.c_str());
    rmdir(log.substr(0, log.rfind('/')).c_str());
}

bool NoteProgramEnd(AccessoryProgram* program)
{
    if (!program->hasEnded && program->pid > 0)
        program->hasEnded = waitid(P_PID, program->pid, &program->end,
                                   WEXITED | WNOHANG | WNOWAIT) == 0 &&
                            program->end.si_pid == program->pid;
    return program->hasEnded;
}

std::string EndedHow(const AccessoryProgram& program)
{
    return (program.end.si_code == CLD_EXITED ? "exit status " : "signal ") +
           std::to_string(program.end.si_status);
}

void StopAccessoryProgram(AccessoryProgram* program)
{
    if (program->pid <= 0)
        return;
    EndGroup(program->pid, getsid(0));
    if (waitid(P_PID, program->pid, &program->end, WEXITED) == 0)
        program->hasEnded = true;
    program->pid = -1;
    if (program->ended >= 0)
        close(program->ended);
    program->ended = -1;
    if (program->keeper >= 0) {
        while (send(program->keeper, &kWordStopped, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
        }
        close(program->keeper);
    }
    program->keeper = -1;
}
