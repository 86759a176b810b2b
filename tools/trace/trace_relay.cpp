// The trace relay: a serial device relayed to a pty of its own, which the
// program opens in its place, and every line that crosses written to a
// trace as it crosses, each line of the accessory's followed by the
// findings on it.
//
//   trace-relay DEVICE LINK TRACE
//
// DEVICE keeps its speed and framing (the relay only makes the line raw).
// When it fails (a Bluetooth link drops), what it sent before still reaches
// the program, then the pty ends too, so that the program sees it go, and
// both come back once the device opens again by the name given, tried
// every 0.5 s (a link that the device's maker makes again names its new
// device). A pty named as itself is opened once (OpensOnce); a name that
// has come to lead to a terminal in use is not opened, nor one that still
// leads to the pty that went through the same links (OpenDevice).
// LINK becomes a symbolic link to the pty's end that the program opens, and
// goes whenever that pty ends.
// TRACE is a file, - for standard output, or /dev/null for none
// (trace_output.h says how it is written, trace_line.h how a line is). The
// accessory's bytes are cut into lines where the phone cuts them, by the
// program's own framing, live: a line the phone takes when the bytes pause
// is written at that moment. The trace also says when the device went and
// came back, and when the program opened and closed its port.
// SIGTERM, SIGINT or SIGHUP ends the relay: lines still unfinished are
// written as they stand, then the summary of the findings.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/trace/accessory_lines.h"
#include "tools/trace/clock_and_signals.h"
#include "tools/trace/relay_ends.h"
#include "tools/trace/trace_output.h"
#include "tools/trace/trace_writer.h"

namespace {

constexpr long kReopenMs = 500;
// Once the device went, the program reads on what it sent before, each
// read within this of the last, and answers within kAnswerMs of its last
// read.
constexpr long kDrainIdleMs = 1000;
constexpr long kAnswerMs = 200;
constexpr int kFinishMs = 500;  // the end's lines, for a trace whose reader is slow
constexpr size_t kChunk = 65536;
timespec Span(long ms)
{
    return {ms / 1000, ms % 1000 * 1000000};
}

struct Session {
    Session(int traceFd, const char* traceName)
        : output(traceFd, traceName, "trace-relay"),
          tracing(traceFd != kNoTrace),
          trace([this](const std::string& line) { output.Put(line, MonotonicMs() - start); })
    {
    }

    TraceOutput output;
    const bool tracing;  // else no line is made at all
    const uint64_t start = MonotonicMs();
    TraceWriter trace;
    AccessoryLines accessory;
    std::string phoneLine;  // the phone's line so far
};

// What is on its way: taken from one end, not yet taken by the other.
struct Ends {
    int device;
    ProgramPty* pty;
    std::string toPhone, toDevice;
};

void TraceAccessory(Session& session, uint64_t now, const std::vector<RawLine>& lines)
{
    for (const RawLine& line : lines)
        session.trace.Accessory(now - session.start, line.bytes, line.end);
}

void AccessoryArrived(Session& session, const char* bytes, size_t count)
{
    if (!session.tracing)
        return;
    const uint64_t now = MonotonicMs();
    TraceAccessory(session, now,
                   session.accessory.Arrived(bytes, count, static_cast<uint32_t>(now)));
}

// The phone's lines are whatever the program writes, up to each CR.
void TracePhone(Session& session, const char* bytes, size_t count)
{
    if (!session.tracing)
        return;
    const uint64_t now = MonotonicMs();
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != '\r') {
            session.phoneLine += bytes[i];
            continue;
        }
        session.trace.Phone(now - session.start, session.phoneLine, LineEnd::kCr);
        session.phoneLine.clear();
    }
}

// A side's unfinished line, as it stands: the device went (kGone), or the
// trace ends (kEnd).
void TraceUnfinishedAccessory(Session& session, LineEnd end)
{
    if (session.tracing)
        TraceAccessory(session, MonotonicMs(), session.accessory.TakeUnfinished(end));
}

void TraceUnfinishedPhone(Session& session, LineEnd end)
{
    if (!session.phoneLine.empty())
        session.trace.Phone(MonotonicMs() - session.start, session.phoneLine, end);
    session.phoneLine.clear();
}

void TraceNews(Session& session, LinkNews news)
{
    if (session.tracing)
        session.trace.News(MonotonicMs() - session.start, news);
}

// The program's port opened or closed, traced; true when it read since
// last asked (while its reads are watched).
bool TakeProgramMoves(Session& session, ProgramPty* pty)
{
    bool read = false;
    for (const PortMove move : TakePortMoves(pty, &read))
        TraceNews(session, move == PortMove::kOpened ? LinkNews::kPortOpened
                                                     : LinkNews::kPortClosed);
    return read;
}

// Waits until one of `count` ends is ready, a stop signal comes, or
// `timeout` (null: none) passes; `ends` has room for one more, the trace's,
// whose waiting lines are written once it takes them. False when the wait
// fails.
bool Wait(Session& session, pollfd* ends, size_t count, const timespec* timeout)
{
    ends[count] = {session.output.Waiting(), POLLOUT, 0};
    if (ppoll(ends, count + 1, timeout, WakingMask()) < 0)
        return errno == EINTR;
    if (ends[count].revents != 0)
        session.output.Write(MonotonicMs() - session.start);
    return true;
}

// For `ms`, or until stopped (-1: only then); the trace is written on.
void Idle(Session& session, long ms)
{
    const uint64_t end = MonotonicMs() + static_cast<uint64_t>(ms < 0 ? 0 : ms);
    while (!StopAsked()) {
        timespec left = {};
        if (ms >= 0) {
            const uint64_t now = MonotonicMs();
            if (now >= end)
                return;
            left = Span(static_cast<long>(end - now));
        }
        pollfd trace[1];
        if (!Wait(session, trace, 0, ms < 0 ? nullptr : &left))
            return;
    }
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
bool RelayOpen(Session& session, Ends& ends)
{
    static char chunk[kChunk];
    const int master = ends.pty->master;
    for (;;) {
        const bool stopping = StopAsked();
        pollfd polled[] = {
            {ends.device, static_cast<short>(POLLIN | (ends.toDevice.empty() ? 0 : POLLOUT)), 0},
            {master, static_cast<short>(POLLIN | (ends.toPhone.empty() ? 0 : POLLOUT)), 0},
            {ends.pty->watch, POLLIN, 0},
            {},
        };
        timespec wait = {};
        if (!stopping && session.accessory.HasUnfinished())
            wait = Span(session.accessory.PauseLeft(static_cast<uint32_t>(MonotonicMs())));
        const bool waitsForever = !stopping && !session.accessory.HasUnfinished();
        if (!Wait(session, polled, 3, waitsForever ? nullptr : &wait))
            return false;
        // The program opens its port before it reads or writes there.
        if (polled[2].revents != 0)
            TakeProgramMoves(session, ends.pty);
        if ((polled[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t read = ::read(ends.device, chunk, sizeof chunk);
            if (read == 0 || (read < 0 && errno != EAGAIN))
                return false;
            if (read > 0) {
                ends.toPhone.append(chunk, static_cast<size_t>(read));
                if (!Flush(master, ends.toPhone))
                    return false;
                AccessoryArrived(session, chunk, static_cast<size_t>(read));
            }
        }
        const uint64_t now = MonotonicMs();
        if (session.accessory.HasUnfinished() &&
            session.accessory.PauseLeft(static_cast<uint32_t>(now)) == 0)
            TraceAccessory(session, now, session.accessory.TakeUnfinished(LineEnd::kPause));
        if ((polled[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t read = ::read(master, chunk, sizeof chunk);
            if (read < 0 && errno != EAGAIN)
                return false;
            if (read > 0) {
                TracePhone(session, chunk, static_cast<size_t>(read));
                ends.toDevice.append(chunk, static_cast<size_t>(read));
            }
        }
        if (!Flush(ends.device, ends.toDevice) || !Flush(master, ends.toPhone))
            return false;
        if (stopping)
            return true;
    }
}

// The device went. What it sent before still reaches the program, which
// may answer it (traced, though the answers reach no one), before the pty
// goes: until the program has read it all and answered, or reads no more.
// A program whose port is closed reads nothing.
void Drain(Session& session, Ends& ends)
{
    static char chunk[kChunk];
    ProgramPty* pty = ends.pty;
    WatchReads(pty, true);
    for (uint64_t lastMove = MonotonicMs(); !StopAsked() && pty->programOpens != 0;) {
        if (!Flush(pty->master, ends.toPhone))
            return;
        const long bound = !ends.toPhone.empty() || ProgramHasUnread(*pty) ? kDrainIdleMs
                                                                            : kAnswerMs;
        const long idle = static_cast<long>(MonotonicMs() - lastMove);
        if (idle >= bound)
            return;
        pollfd polled[] = {
            {pty->master, static_cast<short>(POLLIN | (ends.toPhone.empty() ? 0 : POLLOUT)), 0},
            {pty->watch, POLLIN, 0},
            {},
        };
        const timespec left = Span(bound - idle);
        if (!Wait(session, polled, 2, &left))
            return;
        if ((polled[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t read = ::read(pty->master, chunk, sizeof chunk);
            if (read < 0 && errno != EAGAIN)
                return;
            if (read > 0) {
                TracePhone(session, chunk, static_cast<size_t>(read));
                lastMove = MonotonicMs();
            }
        }
        if (polled[1].revents != 0 && TakeProgramMoves(session, pty))
            lastMove = MonotonicMs();
    }
}

// The device went: its unfinished line, the news, what it sent before
// handed to the program still, and the program's unfinished line.
void DeviceWent(Session& session, Ends& ends, LinkNews news)
{
    TraceUnfinishedAccessory(session, LineEnd::kGone);
    TraceNews(session, news);
    Drain(session, ends);
    TraceUnfinishedPhone(session, LineEnd::kGone);
}

// Said on the terminal, where the relay's user sees it; the relay then
// waits to be told to end, as the program may still hold its port's name.
void GoneForGood(Session& session, const std::string& device, const std::string& why)
{
    fprintf(stderr, "trace-relay: %s: gone, and not opened again: %s\n", device.c_str(),
            why.c_str());
    Idle(session, -1);
}

}  // namespace

int main(int argc, char** argv)
{
    KeepStandardStreams();
    if (argc != 4) {
        fprintf(stderr, "usage: trace-relay DEVICE LINK TRACE\n");
        return 2;
    }
    const std::string device = argv[1], link = argv[2];
    const int trace = OpenTrace(argv[3]);
    if (trace == -1) {
        fprintf(stderr, "trace-relay: %s: %s\n", argv[3], strerror(errno));
        return 1;
    }
    CatchStopSignals({SIGTERM, SIGINT, SIGHUP});
    Session session(trace, argv[3]);

    const bool opensOnce = OpensOnce(device);
    NameTrail trail;  // of the last open
    for (bool opened = false; !StopAsked();) {
        const OpenedDevice opening = OpenDevice(device, trail);
        if (opening.result == DeviceOpen::kTerminalInUse && !opened) {
            fprintf(stderr,
                    "trace-relay: %s: a terminal in use (process %s); name the accessory's "
                    "serial device\n",
                    device.c_str(), opening.session.c_str());
            return 1;
        }
        if (opening.result == DeviceOpen::kTerminalInUse) {
            TraceNews(session, LinkNews::kDeviceNowATerminal);
            GoneForGood(session, device,
                        "it leads to a terminal in use now (process " + opening.session + ")");
            break;
        }
        if (opening.fd < 0 && opensOnce && !opened) {
            fprintf(stderr, "trace-relay: %s: %s\n", device.c_str(), strerror(errno));
            return 1;
        }
        if (opening.fd < 0) {
            Idle(session, kReopenMs);
            continue;
        }
        Ends ends = {opening.fd, nullptr, {}, {}};
        ProgramPty pty;
        if (!OpenProgramPty(link, &pty)) {
            fprintf(stderr, "trace-relay: %s: cannot link the program's pty there\n", link.c_str());
            close(ends.device);
            return 1;
        }
        ends.pty = &pty;
        trail = opening.trail;
        if (opened)
            TraceNews(session, LinkNews::kDeviceBack);
        opened = true;
        const bool gone = !RelayOpen(session, ends);
        close(ends.device);
        if (gone)
            DeviceWent(session, ends,
                       opensOnce ? LinkNews::kDeviceGoneForGood : LinkNews::kDeviceGone);
        CloseProgramPty(&pty);
        if (gone && opensOnce) {
            GoneForGood(session, device,
                        "a pty's number goes to the next terminal that asks for one");
            break;
        }
        if (gone)
            Idle(session, kReopenMs);
    }
    session.output.Ending(MonotonicMs() - session.start);
    TraceUnfinishedAccessory(session, LineEnd::kEnd);
    TraceUnfinishedPhone(session, LineEnd::kEnd);
    if (session.tracing)
        session.trace.Summary(MonotonicMs() - session.start);
    session.output.Finish(kFinishMs);
    return 0;
}
