// Which received line answers which command. Pure bookkeeping, no handles:
// the link keeps one for each open device, offers it every line its owner
// left, and numbers the reader's reads so that each line says when it was
// read.
#pragma once

#include <stdint.h>

#include <vector>
#include <string>

// Whether a line from the phone ends its reply to a line: OK, ERROR, a
// +CME or +CMS ERROR, or one of the call's result codes. Any other line of
// a reply (an information line, as "+CSCS: ...") comes before one of these.
bool IsFinalResultCode(const char* line);

// The phone answers each line it reads, in the order the lines went, with
// a reply: its information lines, if any, then a final result code. So a
// line read before a command's line went answers something earlier (or
// nothing), never that command; and a command's own reply is the first
// line read after its line went once the replies owed ahead of it have
// ended. Some replies come that nobody waits for: to lines sent that way
// (the next submenu for a pick, the registration and the resent submenu as
// the device returns), the rest of a reply whose first line a command took
// (the OK after "+CSCS: ..."), and the late reply of a command that stopped
// waiting. They are owed: each begins with the first line read after its
// line went, ends with its final result code, and is dropped, so that none
// passes for a waiting command's reply. A command that stops waiting owes
// its reply only when every reply owed ahead of it as its line went ended
// with a line read before that (a line is offered here only after it was
// read, so a command's line may go between the two): otherwise its reply
// may have been the line dropped, or be the one still owed; so a command
// that is never answered costs the one after it its reply, and no more. A
// read is counted once it has returned, so a line whose read was under way
// as a command's line went counts as read after it: the command then owes
// nothing, and the one after it may take its late reply.
class ReplyPairing {
public:
    // A command's line goes now and waits for `expected`: only a line read
    // by a later read than read `readsSoFar` (the count of reads made so
    // far) may answer it, once the replies owed ahead of it have ended.
    void Await(uint32_t readsSoFar, const char* expected);
    // A line goes now after `readsSoFar` reads whose reply nobody waits for:
    // it is owed, behind a waiting command's reply. The ticket names it to
    // Forgive.
    uint32_t Owe(uint32_t readsSoFar);
    // A wait is open, and not yet finished.
    bool Waiting() const { return m_state != kIdle; }
    // The open wait has its outcome: a reply, or the end of the device.
    bool Over() const { return m_state == kAnswered || m_state == kEnded; }
    // A line the owner left to the link, read by read `readNumber`. True
    // when it answered the open wait.
    bool Offer(uint32_t readNumber, const char* line);
    // Ends the wait: 1 when the reply was the expected line, else 0 (also
    // when none came: that reply is then owed, as said above).
    int Finish();
    // A line that did not go gets no reply: the wait its command opened
    // ends, and the reply owed under `ticket` is no longer owed.
    void Withdraw() { m_state = kIdle; }
    void Forgive(uint32_t ticket);
    // The device went: no reply of its lines will come. The open wait is
    // over, unanswered, and owes nothing.
    void Forget();

private:
    enum State { kIdle, kWaiting, kAnswered, kEnded };
    struct Owed {
        uint32_t after;  // the count of reads before its line went
        uint32_t ticket;
    };

    void OweAhead(uint32_t after) { m_owed.insert(m_owed.begin(), {after, m_tickets++}); }

    State m_state = kIdle;
    uint32_t m_after = 0;
    std::string m_expected;
    bool m_matched = false;
    // The owed replies, in the order their lines went; the first
    // m_owedAhead of them come before the waiting command's reply.
    std::vector<Owed> m_owed;  // a few at most
    size_t m_owedAhead = 0;
    uint32_t m_tickets = 0;
    // One owed ahead ended with a line read after the waiting command's
    // line went: that line may have been its reply.
    bool m_endedAfterItWent = false;
};
