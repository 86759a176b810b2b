// The phone on its line to the accessory: it reads the accessory's bytes,
// frames them into lines as the program does, answers each line at once,
// writes the whole exchange to the trace as the trace relay writes it (the
// findings after each of the accessory's lines, the line's going and coming
// back, never waiting for the trace's reader), and queues what each line
// made the phone show for the cases, which wait for it. One thread; every
// wait ends as soon as what it waits for arrives, the accessory's program
// ends, the device goes for good, or a stop signal comes
// (CatchStopSignals). On the owned line it sees what the accessory has
// read: a line sent before the accessory read the last pick is marked so
// (Shown::beforePickRead).
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tools/phone_test/accessory_program.h"
#include "tools/phone_test/headless_phone.h"
#include "tools/trace/accessory_lines.h"
#include "tools/trace/phone_reading.h"
#include "tools/trace/relay_ends.h"
#include "tools/trace/trace_output.h"
#include "tools/trace/trace_writer.h"

enum class Wait {
    kArrived,  // what was waited for
    kTimeout,
    kEnded,    // the accessory's program has ended
    kGone,     // the device went, and is not opened again (GoneWhy)
    kStopped,  // SIGINT, SIGTERM or SIGHUP
};

struct LineFinding {
    uint64_t ms;       // when it was found, since the session began
    int number;        // of the accessory's lines, from 1: the one it is about
    std::string line;  // that line as the trace writes it
    Finding finding;
};

// A trace line as FormatTraceLine writes it, without its newline.
std::string TraceText(const TraceLine& line);

class PhoneSession {
public:
    // The trace (OpenTrace's descriptor, or kNoTrace) gets every line
    // (trace_line.h), the news of the line and the summary; `traceName` as
    // given, for what is said of it.
    PhoneSession(int trace, const char* traceName);
    ~PhoneSession();

    // A serial device, opened as the trace relay opens one; if it fails
    // later, it is tried again once a second, as the program tries its
    // port, unless it opens once or its name leads to a terminal in use by
    // then; a name that leads to the pty that went is not opened
    // (OpenDevice).
    OpenedDevice OpenDevice(const std::string& path);
    // A fresh pty whose far end `link` names, for the accessory's program,
    // and this end's descriptor of that far end, for the program's keeper.
    bool OpenOwnedLine(const std::string& link);
    int OwnedLineEnd() const { return m_pty.far; }
    // The program's end is watched for, and its keeper handed the far end of
    // each line made again after a drop.
    void Watch(AccessoryProgram* program) { m_program = program; }

    // Until the accessory's program opens its end of the owned line.
    Wait WaitForOpening(uint64_t deadline);
    // When the accessory's program last opened its end before its first
    // byte came (a wrapper's open and close before it do not count), and
    // whether it has closed it again with no byte sent.
    uint64_t WindowStart() const { return m_windowStart; }
    bool AwaitsReopen() const { return m_awaitsReopen; }
    // The next thing a line made the phone show, at once when one is queued;
    // else waits for the accessory's lines until `deadline` (ms, as Now()),
    // asked again after each wake when it may move (with the window's start).
    Wait Next(uint64_t deadline, Shown* shown);
    Wait Next(const std::function<uint64_t()>& deadline, Shown* shown);
    // What is queued is passed over: the phone now shows the last of it.
    void Forget() { m_shown.clear(); }
    // Sends the pick of item `item`, from 0, of the menu shown.
    void Pick(int item);
    // The owned line goes (the accessory sees it hang up), and comes back
    // as a fresh pty behind the same link; between the two, Idle waits.
    // What was on its way is read first and judged; the line the drop
    // cuts is no finding of the accessory's.
    void Drop();
    bool Return();
    Wait Idle(uint64_t deadline);
    // The trace's end: lines unfinished as they stand, and the summary,
    // written within half a second however slow the trace's reader.
    void Finish();

    uint64_t Now() const;
    // Once a wait has been kGone: why the device is not opened again.
    const std::string& GoneWhy() const { return m_goneWhy; }
    int LinesTaken() const { return m_linesTaken; }
    const std::vector<LineFinding>& Findings() const { return m_findings; }

private:
    Wait Pump(uint64_t deadline);
    ssize_t ReadLine();
    bool PickRead() const;
    void Take(const std::vector<RawLine>& lines, bool beforePickRead = false);
    void KeepFindings(uint64_t now, const std::vector<Finding>& findings,
                      const std::string& written);
    void Write(const std::string& line);
    bool Flush();
    void LineFailed();
    void GoneForGood(LinkNews news, const std::string& why);

    const uint64_t m_start;
    TraceOutput m_output;
    const bool m_tracing;
    TraceWriter m_trace;       // its reading gives the findings
    int m_line = -1;           // the device, or the pty's master; -1 while away
    std::string m_devicePath;  // set for a device, which is reopened
    bool m_opensOnce = false;  // the device is not reopened once gone
    NameTrail m_trail;         // where its name led at the last open
    std::string m_goneWhy;     // set once it is not opened again
    uint64_t m_nextReopen = 0;
    ProgramPty m_pty;  // the owned line
    std::string m_link;
    bool m_lineOpened = false;  // the accessory has opened its end; a device's is open at once
    uint64_t m_windowStart = 0;
    bool m_awaitsReopen = false;
    bool m_heard = false;    // a byte came from the accessory
    bool m_ownDrop = false;  // while the line the drop cuts is taken
    // Bytes written to the owned line's master since it was made, and where
    // the last pick's line ends among them: read once the accessory has read
    // that many.
    uint64_t m_written = 0;
    uint64_t m_pickEnd = 0;
    AccessoryProgram* m_program = nullptr;
    AccessoryLines m_framing;
    HeadlessPhone m_phone;
    std::string m_toAccessory;  // written as the line takes it
    std::deque<Shown> m_shown;
    std::vector<LineFinding> m_findings;
    int m_linesTaken = 0;
    int m_linesTraced = 0;
    // The last line that filled the buffer, whose findings come with the
    // next: its number and its trace line.
    int m_heldNumber = 0;
    std::string m_heldText;
};
