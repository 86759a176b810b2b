// Which received line answers which command. Pure bookkeeping, no handles:
// the link keeps one under a lock, offers it every line its owner left, and
// numbers the reader's reads so that each line says when it was read.
#pragma once

#include <stdint.h>

#include <string>

// The phone answers a command's line after it has read it, and answers
// commands in the order they came. So a line read before a command's line
// went answers something earlier (or nothing), never that command; and a
// command that stopped waiting still has its reply coming, which must not
// pass for the next command's. That late reply is taken to be the first line
// read after the command's line went; it is dropped. One is owed at most,
// and a command whose wait dropped one owes none when its own wait runs out
// (its reply may have been the line dropped), so a command that is never
// answered costs the one after it its reply, and no more.
class ReplyPairing {
public:
    // A command waits for `expected`: only a line read by a later read than
    // read `readsSoFar` (the count of reads made so far) may answer it.
    void Await(uint32_t readsSoFar, const char* expected);
    // A wait is open, answered or not, and not yet finished.
    bool Waiting() const { return m_state != kIdle; }
    bool Answered() const { return m_state == kAnswered; }
    // A line the owner left to the link, read by read `readNumber`. True
    // when it answered the open wait.
    bool Offer(uint32_t readNumber, const char* line);
    // Ends the wait: 1 when the reply was the expected line, else 0 (also
    // when none came, which then leaves that reply owed).
    int Finish();
    // Ends a wait whose command's line did not go: no reply is coming.
    void Withdraw() { m_state = kIdle; }

private:
    enum State { kIdle, kWaiting, kAnswered };

    State m_state = kIdle;
    uint32_t m_after = 0;
    std::string m_expected;
    bool m_matched = false;
    bool m_droppedLateReply = false;  // this wait dropped an earlier command's reply
    bool m_lateReplyOwed = false;
    uint32_t m_lateAfter = 0;  // the owing command's m_after
};
