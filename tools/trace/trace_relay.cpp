// The trace relay: a serial device relayed to a pty of its own, which the
// program opens in its place, and every line that crosses written to a
// trace as it crosses, each line of the accessory's followed by the
// findings on it.
//
//   trace-relay DEVICE LINK TRACE
//
// DEVICE keeps its speed and framing (the relay only makes the line raw).
// LINK becomes a symbolic link to the pty's end that the program opens, and
// goes whenever that pty ends.
// TRACE is a file, or - for standard output (trace_line.h says how a line
// is written). The accessory's bytes are cut into lines where the phone
// cuts them, by the program's own framing, live: a line the phone takes
// when the bytes pause is written at that moment. When the device fails (a
// Bluetooth link drops) the pty ends too, so that the program sees it go,
// and both come back once the device opens again, tried every 0.5 s.
// SIGTERM or SIGINT ends the relay: lines still unfinished are written as
// they stand, then the summary of the findings.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/trace/accessory_lines.h"
#include "tools/trace/relay_ends.h"
#include "tools/trace/trace_writer.h"

namespace {

constexpr long kReopenMs = 500;
constexpr size_t kChunk = 65536;

volatile sig_atomic_t g_stopping = 0;

void Stop(int)
{
    g_stopping = 1;
}

uint64_t NowMs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

timespec Span(long ms)
{
    return {ms / 1000, ms % 1000 * 1000000};
}

struct Session {
    TraceWriter trace;
    uint64_t start;
    sigset_t waking;  // the mask while waiting: SIGTERM and SIGINT come through
    AccessoryLines accessory;
    std::string phoneLine;  // the phone's line so far
};

void TraceAccessory(Session& session, uint64_t now, const std::vector<RawLine>& lines)
{
    for (const RawLine& line : lines)
        session.trace.Accessory(now - session.start, line.bytes, line.end);
}

// The phone's lines are whatever the program writes, up to each CR.
void TracePhone(Session& session, uint64_t now, const char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != '\r') {
            session.phoneLine += bytes[i];
            continue;
        }
        session.trace.Phone(now - session.start, session.phoneLine, LineEnd::kCr);
        session.phoneLine.clear();
    }
}

// Both sides' unfinished lines, as they stand: the device went (kGone), or
// the trace ends (kEnd).
void TraceUnfinished(Session& session, LineEnd end)
{
    const uint64_t now = NowMs();
    TraceAccessory(session, now, session.accessory.TakeUnfinished(end));
    if (!session.phoneLine.empty())
        session.trace.Phone(now - session.start, session.phoneLine, end);
    session.phoneLine.clear();
}

// Writes what `fd` takes now of `queue`; false when it fails.
bool Flush(int fd, std::string& queue)
{
    while (!queue.empty()) {
        const ssize_t written = write(fd, queue.data(), queue.size());
        if (written < 0)
            return errno == EAGAIN;
        queue.erase(0, static_cast<size_t>(written));
    }
    return true;
}

// Relays both ways, neither side waiting for the other, until the relay
// is stopped (true) or an end fails (false); once stopped, it still takes
// what has already arrived. Each side's bytes are traced as the relay takes
// them, the accessory's once handed on (or queued, when the program's end
// takes no more yet), so that a line is in the trace once its answer has
// arrived.
bool RelayOpen(Session& session, int device, int master)
{
    std::string toPhone, toDevice;
    static char chunk[kChunk];
    for (;;) {
        const bool stopping = g_stopping != 0;
        pollfd ends[] = {
            {device, static_cast<short>(POLLIN | (toDevice.empty() ? 0 : POLLOUT)), 0},
            {master, static_cast<short>(POLLIN | (toPhone.empty() ? 0 : POLLOUT)), 0},
        };
        timespec wait = {};
        if (!stopping && session.accessory.HasUnfinished())
            wait = Span(session.accessory.PauseLeft(static_cast<uint32_t>(NowMs())));
        const bool waitsForever = !stopping && !session.accessory.HasUnfinished();
        if (ppoll(ends, 2, waitsForever ? nullptr : &wait, &session.waking) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if ((ends[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t read = ::read(device, chunk, sizeof chunk);
            if (read == 0 || (read < 0 && errno != EAGAIN))
                return false;
            if (read > 0) {
                toPhone.append(chunk, static_cast<size_t>(read));
                if (!Flush(master, toPhone))
                    return false;
                const uint64_t now = NowMs();
                TraceAccessory(session, now,
                               session.accessory.Arrived(chunk, static_cast<size_t>(read),
                                                         static_cast<uint32_t>(now)));
            }
        }
        const uint64_t now = NowMs();
        if (session.accessory.HasUnfinished() &&
            session.accessory.PauseLeft(static_cast<uint32_t>(now)) == 0)
            TraceAccessory(session, now, session.accessory.TakeUnfinished(LineEnd::kPause));
        if ((ends[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t read = ::read(master, chunk, sizeof chunk);
            if (read < 0 && errno != EAGAIN)
                return false;
            if (read > 0) {
                TracePhone(session, NowMs(), chunk, static_cast<size_t>(read));
                toDevice.append(chunk, static_cast<size_t>(read));
            }
        }
        if (!Flush(device, toDevice) || !Flush(master, toPhone))
            return false;
        if (stopping)
            return true;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: trace-relay DEVICE LINK TRACE\n");
        return 2;
    }
    const std::string device = argv[1], link = argv[2];
    FILE* out = strcmp(argv[3], "-") == 0 ? stdout : fopen(argv[3], "w");
    if (out == nullptr) {
        fprintf(stderr, "trace-relay: %s: %s\n", argv[3], strerror(errno));
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);  // a trace whose reader has gone fails its writes, no more
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    Session session{TraceWriter(out), NowMs(), {}, {}, {}};
    sigprocmask(SIG_BLOCK, &stopSignals, &session.waking);
    sigdelset(&session.waking, SIGTERM);
    sigdelset(&session.waking, SIGINT);
    struct sigaction stop = {};
    stop.sa_handler = Stop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);

    for (bool first = true; g_stopping == 0; first = false) {
        if (!first) {
            const timespec reopen = Span(kReopenMs);
            ppoll(nullptr, 0, &reopen, &session.waking);
            if (g_stopping != 0)
                break;
        }
        const int opened = OpenDevice(device);
        if (opened < 0)
            continue;
        ProgramPty pty;
        if (!OpenProgramPty(link, &pty)) {
            fprintf(stderr, "trace-relay: %s: cannot link the program's pty there\n", link.c_str());
            close(opened);
            return 1;
        }
        if (!RelayOpen(session, opened, pty.master))
            TraceUnfinished(session, LineEnd::kGone);
        close(opened);
        CloseProgramPty(&pty);
    }
    TraceUnfinished(session, LineEnd::kEnd);
    session.trace.Summary(NowMs() - session.start);
    return 0;
}
