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
    m_owedAhead = m_owed.size();
    m_paidAfterItWent = false;
}

void ReplyPairing::Owe(uint32_t readsSoFar)
{
    m_owed.push_back(readsSoFar);
}

bool ReplyPairing::Offer(uint32_t readNumber, const char* line)
{
    const bool replyNext = m_state == kWaiting && m_owedAhead == 0;
    if (!replyNext) {
        if (m_owed.empty() || !ReadAfter(readNumber, m_owed.front()))
            return false;
        m_owed.pop_front();
        if (m_state == kWaiting) {
            --m_owedAhead;
            m_paidAfterItWent |= ReadAfter(readNumber, m_after);
        }
        return false;
    }
    if (!ReadAfter(readNumber, m_after))
        return false;
    m_matched = m_expected == line;
    m_state = kAnswered;
    return true;
}

int ReplyPairing::Finish()
{
    if (m_state == kWaiting && m_owedAhead == 0 && !m_paidAfterItWent)
        m_owed.push_front(m_after);  // ahead of any owed behind it
    const bool matched = m_state == kAnswered && m_matched;
    m_state = kIdle;
    return matched ? 1 : 0;
}
