// A link's reader: one thread for each Open, which owns the device from
// then on. It reads it, cuts the bytes into lines and hands each to the
// owner, opens it again when it fails, and closes it as it ends. Nothing
// ends it but itself: Close asks it to stop, waits for it a while, and may
// leave it to finish a step that lasts (an open, a close, a write); it then
// touches only what it holds a reference to, never the link or the owner.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "link/line_framing.h"
#include "link/link_share.h"

DWORD WINAPI ReaderThread(LPVOID reader);

class LinkReader {
public:
    // What the reader is doing, as Close must know to wait for it: a step
    // that may last seconds (an open, a close that drains) is left to
    // finish; a write (its own, or the wait for another's) is bounded by
    // its bytes at the line's speed; the others end soon, unless the owner
    // keeps it.
    enum Step { kWorking, kWithOwner, kWriting, kOpening, kClosingDevice };

    // The reader for a link on `share`'s device, made but not started:
    // `device` is open (with its timing), or INVALID_HANDLE_VALUE for one
    // to open again; `menuName`, when given, is registered again each time
    // it returns. Null without memory or its event.
    static LinkReader* Create(LinkShare* share, HANDLE device, const PortTiming& timing,
                              const char* menuName);
    LinkReader(const LinkReader&) = delete;
    LinkReader& operator=(const LinkReader&) = delete;

    // Publishes the device and starts the thread, which holds a reference
    // of its own; false when it cannot start (the device is then closed).
    bool Start(HANDLE* thread);
    void Release();

    // Close's side. Once asked, it ends after the batch in hand, handing
    // on its complete lines: it reads nothing more, and what it had not
    // finished stays with it.
    void AskToStop();
    bool StopAsked() const { return m_stopAsked; }
    Step CurrentStep() const { return static_cast<Step>(m_place & kStepMask); }
    // Set (auto-reset) at each change of step once Close watches it.
    HANDLE StepChanged() const { return m_stepChanged; }
    // From here on it asks the owner nothing. The step it was in.
    Step CloseToOwner();

    // The asking of the owner, which stops once the link closed to it:
    // false then, the question unasked.
    bool AskOwner(WORD code, WORD value, LPARAM lParam, LRESULT* answer);
    // Around each of its own writes, and its wait for others' writes to end.
    void SetStep(Step step);

private:
    friend DWORD WINAPI ReaderThread(LPVOID reader);
    static constexpr int kStepMask = 7;
    static constexpr int kClosedToOwner = 8;

    LinkReader(LinkShare* share, HANDLE device, const PortTiming& timing, const char* menuName);
    ~LinkReader();

    void Run();
    void DispatchLines(LineCursor lines);
    bool DispatchLine(char* line, size_t length);
    bool ReadBatch(DWORD* readWait);
    bool OpenAgain(DWORD* lastOpenTick);
    void DropDevice();

    LinkShare* const m_share;  // a reference of its own
    std::atomic<long> m_references{1};
    // Set at creation, read-only afterwards.
    const bool m_registers;
    const std::string m_menuName;

    // Set by Close, read by the reader.
    std::atomic<bool> m_stopAsked{false};
    // The step, and whether the link has closed to the owner: written by
    // the reader (the step) and by Close (the closing), read by both.
    std::atomic<int> m_place{kWorking};
    // Set by Close before it reads the step, read by the reader as it
    // changes it: one of them sees the other.
    std::atomic<bool> m_watched{false};
    HANDLE m_stepChanged;

    // The reader's alone once it runs: the device it owns, the session it
    // has, its batch buffer (a line in it is lent to the owner for one
    // notification). The line Open found under the device, read by Start.
    HANDLE m_device;
    const PortTiming m_timing;
    uint32_t m_session = 0;
    ReceiveBuffer m_buffer;
};
