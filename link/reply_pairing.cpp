#include "link/reply_pairing.h"

namespace {

// Read numbers wrap; a line read after read `after` has a number that lies
// less than half the range ahead of it.
bool ReadAfter(uint32_t readNumber, uint32_t after)
{
    return readNumber != after && readNumber - after < 0x80000000u;
}

}  // namespace

void ReplyPairing::Await(uint32_t readsSoFar, const char* expected)
{
    m_state = kWaiting;
    m_after = readsSoFar;
    m_expected = expected;
    m_matched = false;
    m_droppedLateReply = false;
}

bool ReplyPairing::Offer(uint32_t readNumber, const char* line)
{
    if (m_lateReplyOwed && ReadAfter(readNumber, m_lateAfter)) {
        m_lateReplyOwed = false;
        if (m_state == kWaiting && ReadAfter(readNumber, m_after))
            m_droppedLateReply = true;
        return false;
    }
    if (m_state != kWaiting || !ReadAfter(readNumber, m_after))
        return false;
    m_matched = m_expected == line;
    m_state = kAnswered;
    return true;
}

int ReplyPairing::Finish()
{
    if (m_state == kWaiting && !m_droppedLateReply && !m_lateReplyOwed) {
        m_lateReplyOwed = true;
        m_lateAfter = m_after;
    }
    const bool matched = m_state == kAnswered && m_matched;
    m_state = kIdle;
    return matched ? 1 : 0;
}
