// Which received line answers which command. Pure bookkeeping, no handles:
// the link keeps one under a lock, offers it every line its owner left, and
// numbers the reader's reads so that each line says when it was read.
#pragma once

#include <stdint.h>

#include <deque>
#include <string>

// The phone answers a line after it has read it, and answers lines in the
// order they went. So a line read before a command's line went answers
// something earlier (or nothing), never that command. Some replies come
// that nobody waits for: to the reader's own lines (the next submenu for a
// pick, the registration and the resent submenu as the device returns),
// which it cannot wait for, and the late reply of a command that stopped
// waiting. They are owed, and each is taken to be the first line read after
// its line went, in the order the lines went, and dropped, so that none
// passes for a waiting command's reply. A command that stops waiting owes
// its reply only when every reply owed ahead of it as its line went was
// paid by a line read before that (a line is offered here only after it
// was read, so a command's line may go between the two): otherwise its
// reply may have been the line dropped, or be the one still owed; so a
// command that is never answered costs the one after it its reply, and no
// more. A read is counted once it has returned, so a line whose read was
// under way as a command's line went counts as read after it: the command
// then owes nothing, and the one after it may take its late reply.
class ReplyPairing {
public:
    // A command's line goes now and waits for `expected`: only a line read
    // by a later read than read `readsSoFar` (the count of reads made so
    // far) may answer it, once the replies owed ahead of it have come.
    void Await(uint32_t readsSoFar, const char* expected);
    // A line went after `readsSoFar` reads whose reply nobody waits for: it
    // is owed, behind a waiting command's reply.
    void Owe(uint32_t readsSoFar);
    // A wait is open, answered or not, and not yet finished.
    bool Waiting() const { return m_state != kIdle; }
    bool Answered() const { return m_state == kAnswered; }
    // A line the owner left to the link, read by read `readNumber`. True
    // when it answered the open wait.
    bool Offer(uint32_t readNumber, const char* line);
    // Ends the wait: 1 when the reply was the expected line, else 0 (also
    // when none came: that reply is then owed, as said above).
    int Finish();
    // Ends a wait whose command's line did not go: no reply is coming.
    void Withdraw() { m_state = kIdle; }

private:
    enum State { kIdle, kWaiting, kAnswered };

    State m_state = kIdle;
    uint32_t m_after = 0;
    std::string m_expected;
    bool m_matched = false;
    // The owed replies, each as the count of reads before its line went,
    // in the order the lines went; the first m_owedAhead of them come
    // before the waiting command's reply.
    std::deque<uint32_t> m_owed;
    size_t m_owedAhead = 0;
    // One owed ahead was paid by a line read after the waiting command's
    // line went: that line may have been its reply.
    bool m_paidAfterItWent = false;
};
