#include "tools/trace/trace_output.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include "tools/trace/clock_and_signals.h"
#include "tools/trace/trace_line.h"

namespace {

// Thousands of ordinary lines, 32 of the longest (a 2047-byte line, each
// byte escaped).
constexpr size_t kQueueBound = 256 * 1024;

bool IsNullDevice(const struct stat& file)
{
    return S_ISCHR(file.st_mode) && file.st_rdev == makedev(1, 3);
}

// A standard stream that could make a write wait (a pipe, a terminal), on
// an open file of its own, non-blocking; the shell and anyone else sharing
// it keep theirs as they are. A socket, which cannot be opened again, is
// made non-blocking itself.
int OwnWriter(int stream)
{
    const std::string path = "/proc/self/fd/" + std::to_string(stream);
    const int own = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (own >= 0)
        return own;
    const int flags = fcntl(stream, F_GETFL);
    return flags >= 0 && fcntl(stream, F_SETFL, flags | O_NONBLOCK) == 0 ? stream : -1;
}

}  // namespace

int StandardStreamNamed(const char* name)
{
    struct stat named, stream;
    if (stat(name, &named) != 0)
        return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        if (fstat(fd, &stream) == 0 && stream.st_dev == named.st_dev &&
            stream.st_ino == named.st_ino)
            return fd;
    }
    return -1;
}

int OpenToWrite(const char* name)
{
    const int stream = StandardStreamNamed(name);
    const int fd = stream >= 0 ? stream : open(name, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    struct stat file;
    if (fd < 0 || fstat(fd, &file) != 0)
        return -1;
    return stream >= 0 || !S_ISREG(file.st_mode) || ftruncate(fd, 0) == 0 ? fd : -1;
}

int OpenTrace(const char* name)
{
    const int stream = strcmp(name, "-") == 0 ? STDOUT_FILENO : StandardStreamNamed(name);
    const int fd = stream >= 0 ? stream : OpenToWrite(name);
    struct stat file;
    if (fd < 0 || fstat(fd, &file) != 0)
        return -1;
    if (IsNullDevice(file))
        return kNoTrace;
    if (S_ISREG(file.st_mode))
        return fd;
    if (stream >= 0)
        return OwnWriter(stream);
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 ? fd : -1;
}

void TraceOutput::Put(const std::string& line, uint64_t ms)
{
    if (m_failed)
        return;
    if (m_bounded && (m_leftOut != 0 || m_queue.size() + line.size() > kQueueBound)) {
        ++m_leftOut;
        return;
    }
    m_queue += line;
    Write(ms);
}

int TraceOutput::Waiting() const
{
    return m_queue.empty() ? -1 : m_fd;
}

// Once lines were left out, none is queued until the reader has caught up
// by half the queue, so that the line telling how many stands between runs
// of lines, not between single ones.
void TraceOutput::Write(uint64_t ms)
{
    m_lastMs = ms;
    for (;;) {
        if (m_leftOut != 0 && m_queue.size() <= kQueueBound / 2)
            TellLeftOut(ms);
        if (m_failed || m_queue.empty())
            return;
        const ssize_t written = write(m_fd, m_queue.data(), m_queue.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN)
            Fail(std::string("cannot be written (") + strerror(errno) + ")");
        if (written <= 0)
            return;
        m_lines += std::count(m_queue.begin(), m_queue.begin() + written, '\n');
        m_queue.erase(0, static_cast<size_t>(written));
    }
}

void TraceOutput::Ending(uint64_t ms)
{
    if (m_leftOut != 0)
        TellLeftOut(ms);
    m_bounded = false;
}

void TraceOutput::TellLeftOut(uint64_t ms)
{
    m_queue += FormatTraceLine({ms, "trace", std::to_string(m_leftOut) + " lines left out"});
    m_leftOut = 0;
}

void TraceOutput::Finish(int waitMs)
{
    const uint64_t end = MonotonicMs() + static_cast<uint64_t>(waitMs);
    for (;;) {
        Write(m_lastMs);
        const uint64_t now = MonotonicMs();
        if (m_failed || m_queue.empty())
            return;
        if (now >= end)
            break;
        pollfd room = {m_fd, POLLOUT, 0};
        poll(&room, 1, static_cast<int>(end - now));
    }
    Fail("its reader took no more");
}

void TraceOutput::Fail(const std::string& why)
{
    fprintf(stderr, "%s: %s: %s; the trace is incomplete from line %zu on\n", m_program,
            m_name.c_str(), why.c_str(), m_lines + 1);
    m_failed = true;
    m_queue.clear();
}
