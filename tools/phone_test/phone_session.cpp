#include "tools/phone_test/phone_session.h"

#include <errno.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "link/menu_protocol.h"
#include "tools/phone_test/pick_read.h"
#include "tools/trace/clock_and_signals.h"
#include "tools/trace/trace_line.h"

namespace {

constexpr uint64_t kReopenMs = 1000;
constexpr int kFinishMs = 500;  // the trace's end, for a reader that is slow
constexpr size_t kChunk = 4096;

}  // namespace

PhoneSession::PhoneSession(int trace, const char* traceName)
    : m_start(MonotonicMs()),
      m_output(trace, traceName, "phone-test"),
      m_tracing(trace != kNoTrace),
      m_trace([this](const std::string& line) {
          if (m_tracing)
              m_output.Put(line, Now());
      })
{
}

PhoneSession::~PhoneSession()
{
    if (m_devicePath.empty())
        CloseProgramPty(&m_pty);
    else if (m_line >= 0)
        close(m_line);
}

uint64_t PhoneSession::Now() const
{
    return MonotonicMs() - m_start;
}

OpenedDevice PhoneSession::OpenDevice(const std::string& path)
{
    m_devicePath = path;
    m_opensOnce = OpensOnce(path);
    const OpenedDevice opened = ::OpenDevice(path);
    m_line = opened.fd;
    m_trail = opened.trail;
    m_lineOpened = true;
    m_windowStart = Now();
    return opened;
}

// The accessory's first open of its end is the line opening: a program
// may take its time to start.
bool PhoneSession::OpenOwnedLine(const std::string& link)
{
    m_link = link;
    if (!OpenProgramPty(link, &m_pty))
        return false;
    m_line = m_pty.master;
    return true;
}

Wait PhoneSession::WaitForOpening(uint64_t deadline)
{
    for (;;) {
        if (m_lineOpened)
            return Wait::kArrived;
        const Wait waited = Pump(deadline);
        if (waited != Wait::kArrived && !m_lineOpened)
            return waited;
    }
}

Wait PhoneSession::Next(uint64_t deadline, Shown* shown)
{
    return Next([deadline] { return deadline; }, shown);
}

Wait PhoneSession::Next(const std::function<uint64_t()>& deadline, Shown* shown)
{
    for (;;) {
        if (!m_shown.empty()) {
            *shown = m_shown.front();
            m_shown.pop_front();
            return Wait::kArrived;
        }
        const Wait waited = Pump(deadline());
        if (waited != Wait::kArrived && m_shown.empty() &&
            (waited != Wait::kTimeout || Now() >= deadline()))
            return waited;
    }
}

Wait PhoneSession::Idle(uint64_t deadline)
{
    for (;;) {
        const Wait waited = Pump(deadline);
        if (waited != Wait::kArrived)
            return waited;
    }
}

void PhoneSession::Pick(int item)
{
    Write(IndicationCommand(item + 1));
    m_pickEnd = m_written + m_toAccessory.size();
}

// Of a device it cannot be told: taken as read.
bool PhoneSession::PickRead() const
{
    return !m_devicePath.empty() ||
           AccessoryReadPick(m_written, ProgramUnread(m_pty), m_pickEnd);
}

// Then closed, as when the device fails: the phone's answer to the line
// the drop cuts reaches no one, and is not written.
void PhoneSession::Drop()
{
    pollfd line = {m_line, POLLIN, 0};
    poll(&line, 1, 0);  // hands this end what is on its way
    while (ReadLine() > 0) {
    }
    CloseProgramPty(&m_pty);
    m_line = -1;
    m_toAccessory.clear();
    m_written = m_pickEnd = 0;
    m_ownDrop = true;
    Take(m_framing.TakeUnfinished(LineEnd::kGone));
    m_ownDrop = false;
    m_shown.clear();
    KeepFindings(Now(), m_trace.News(Now(), LinkNews::kDeviceGone), "");
}

bool PhoneSession::Return()
{
    // The keeper holds the far end before the accessory can find it.
    if (!MakeProgramPty(&m_pty))
        return false;
    if (m_program != nullptr)
        HandLineEndToKeeper(*m_program, m_pty.far);
    if (!LinkProgramPty(m_link, &m_pty))
        return false;
    m_line = m_pty.master;
    m_trace.News(Now(), LinkNews::kDeviceBack);
    return true;
}

void PhoneSession::Finish()
{
    m_output.Ending(Now());
    Take(m_framing.TakeUnfinished(LineEnd::kEnd));
    KeepFindings(Now(), m_trace.Summary(Now()), "");
    m_output.Finish(kFinishMs);
}

// One wait for whatever comes first (none once the deadline has passed:
// what has already come is taken all the same), and what it brought taken.
// kArrived means: look again. The program's end, or the device's for
// good, is told once its last bytes are taken.
Wait PhoneSession::Pump(uint64_t deadline)
{
    if (StopAsked())
        return Wait::kStopped;
    if (m_program != nullptr && m_program->hasEnded)
        return Wait::kEnded;
    if (!m_goneWhy.empty())
        return Wait::kGone;
    const uint64_t now = Now();
    if (m_line < 0 && !m_devicePath.empty() && now >= m_nextReopen) {
        const OpenedDevice opened = ::OpenDevice(m_devicePath, m_trail);
        m_line = opened.fd;
        m_nextReopen = now + kReopenMs;
        if (m_line >= 0) {
            m_trail = opened.trail;
            m_trace.News(now, LinkNews::kDeviceBack);
        }
        if (opened.result == DeviceOpen::kTerminalInUse) {
            GoneForGood(LinkNews::kDeviceNowATerminal,
                        "it leads to a terminal in use now (process " + opened.session + ")");
            return Wait::kGone;
        }
    }
    uint64_t wake = std::max(deadline, now);
    if (m_framing.HasUnfinished())
        wake = std::min(wake, now + m_framing.PauseLeft(static_cast<uint32_t>(MonotonicMs())));
    if (m_line < 0 && !m_devicePath.empty())
        wake = std::min(wake, m_nextReopen);
    pollfd watched[] = {
        {m_line, static_cast<short>(POLLIN | (m_toAccessory.empty() ? 0 : POLLOUT)), 0},
        {m_program != nullptr ? m_program->ended : -1, POLLIN, 0},
        {m_pty.watch, POLLIN, 0},  // the owned line's; none for a device
        {m_output.Waiting(), POLLOUT, 0},
    };
    const timespec wait = {static_cast<time_t>((wake - now) / 1000),
                           static_cast<long>((wake - now) % 1000 * 1000000)};
    if (ppoll(watched, 4, &wait, WakingMask()) < 0 && errno != EINTR)
        return Wait::kStopped;
    if (watched[3].revents != 0)
        m_output.Write(Now());
    // Before the bytes: a program opens its end before it writes.
    if ((watched[2].revents & POLLIN) != 0) {
        bool read = false;  // reads are not watched
        for (const PortMove move : TakePortMoves(&m_pty, &read)) {
            m_lineOpened |= move == PortMove::kOpened;
            if (!m_heard && move == PortMove::kOpened)
                m_windowStart = Now();
            m_awaitsReopen = !m_heard && move == PortMove::kClosed;
        }
    }
    if ((watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && ReadLine() < 0)
        LineFailed();
    if (m_framing.HasUnfinished() && m_framing.PauseLeft(static_cast<uint32_t>(MonotonicMs())) == 0)
        Take(m_framing.TakeUnfinished(LineEnd::kPause), !PickRead());
    if ((watched[0].revents & POLLOUT) != 0 && !Flush())
        LineFailed();
    if ((watched[1].revents & POLLIN) != 0 && NoteProgramEnd(m_program)) {
        while (ReadLine() > 0) {
        }
    }
    return Now() >= deadline ? Wait::kTimeout : Wait::kArrived;
}

// The bytes read, 0 when none are waiting, -1 when the line has failed.
ssize_t PhoneSession::ReadLine()
{
    if (m_line < 0)
        return 0;
    char chunk[kChunk];
    const ssize_t count = read(m_line, chunk, sizeof chunk);
    if (count < 0)
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    if (count == 0)
        return -1;
    m_heard = true;
    m_awaitsReopen = false;
    // After the read: a pick still unread then was unread as the bytes went.
    const std::vector<RawLine> lines =
        m_framing.Arrived(chunk, static_cast<size_t>(count), static_cast<uint32_t>(MonotonicMs()));
    Take(lines, !PickRead());
    return count;
}

std::string TraceText(const TraceLine& line)
{
    std::string text = FormatTraceLine(line);
    text.pop_back();
    return text;
}

// Each line traced, its findings after it, then the phone's answers.
void PhoneSession::Take(const std::vector<RawLine>& lines, bool beforePickRead)
{
    for (const RawLine& line : lines) {
        const uint64_t now = Now();
        ++m_linesTraced;
        const std::string written = TraceText({now, "accessory", line.bytes, line.end});
        KeepFindings(now, m_trace.Accessory(now, line.bytes, line.end), written);
        if (line.end == LineEnd::kFull) {
            m_heldNumber = m_linesTraced;
            m_heldText = written;
        }
        std::vector<Shown> shown;
        const std::vector<std::string> answers = m_phone.Take(line.bytes, line.end, &shown);
        m_linesTaken += !answers.empty();
        for (const std::string& answer : answers)
            Write(answer);
        for (Shown& one : shown)
            one.beforePickRead = beforePickRead;
        m_shown.insert(m_shown.end(), shown.begin(), shown.end());
    }
}

// Findings on the last line traced, `written`; one on a line that filled
// the buffer, which is judged only with what follows it (the next line, the
// device going, the end), is the held line's.
void PhoneSession::KeepFindings(uint64_t now, const std::vector<Finding>& findings,
                                const std::string& written)
{
    for (const Finding& finding : findings) {
        if (m_ownDrop && finding.kind == kCutByDevice)
            continue;  // the phone-test's doing
        const bool held = finding.end == LineEnd::kFull;
        m_findings.push_back(
            {now, held ? m_heldNumber : m_linesTraced, held ? m_heldText : written, finding});
    }
}

void PhoneSession::Write(const std::string& line)
{
    if (m_line < 0)
        return;
    m_trace.Phone(Now(), line, LineEnd::kCr);
    m_toAccessory += line + '\r';
    if (!Flush())
        LineFailed();
}

bool PhoneSession::Flush()
{
    while (!m_toAccessory.empty() && m_line >= 0) {
        const ssize_t written = write(m_line, m_toAccessory.data(), m_toAccessory.size());
        if (written < 0)
            return errno == EAGAIN || errno == EINTR;
        m_toAccessory.erase(0, static_cast<size_t>(written));
        m_written += static_cast<uint64_t>(written);
    }
    return true;
}

// The device went: the unfinished line is taken as it stands, and the
// device is tried again later, unless it opens once. (The owned line cannot
// fail so, since this end holds its far end open too; were it to, it stays
// away.)
void PhoneSession::LineFailed()
{
    if (m_line < 0)
        return;
    if (m_devicePath.empty())
        CloseProgramPty(&m_pty);
    else
        close(m_line);
    m_line = -1;
    m_nextReopen = Now() + kReopenMs;
    m_toAccessory.clear();
    m_written = m_pickEnd = 0;
    Take(m_framing.TakeUnfinished(LineEnd::kGone));
    if (m_opensOnce)
        GoneForGood(LinkNews::kDeviceGoneForGood,
                    "its number goes to the next terminal that asks for one");
    else
        KeepFindings(Now(), m_trace.News(Now(), LinkNews::kDeviceGone), "");
}

// Either way, the keys of someone's terminal would be read as the
// accessory's.
void PhoneSession::GoneForGood(LinkNews news, const std::string& why)
{
    m_goneWhy = why + ", whose keys would be read as the accessory's";
    KeepFindings(Now(), m_trace.News(Now(), news), "");
}
