#include "link/reply_pairing.h"

#include <string.h>

namespace {

// Read numbers wrap; a line read after read `after` has a number that lies
// less than half the range ahead of it.
bool ReadAfter(uint32_t readNumber, uint32_t after)
{
    return readNumber != after && readNumber - after < 0x80000000u;
}

bool StartsWith(const char* line, const char* prefix)
{
    return strncmp(line, prefix, strlen(prefix)) == 0;
}

}  // namespace

bool IsFinalResultCode(const char* line)
{
    for (const char* code : {"OK", "ERROR", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"}) {
        if (strcmp(line, code) == 0)
            return true;
    }
    return StartsWith(line, "CONNECT") || StartsWith(line, "+CME ERROR") ||
           StartsWith(line, "+CMS ERROR");
}

void ReplyPairing::Await(uint32_t readsSoFar, const char* expected)
{
    m_state = kWaiting;
    m_after = readsSoFar;
    m_expected = expected;
    m_matched = false;
    m_owedAhead = m_owed.size();
    m_endedAfterItWent = false;
}

uint32_t ReplyPairing::Owe(uint32_t readsSoFar)
{
    m_owed.push_back({readsSoFar, m_tickets});
    return m_tickets++;
}

void ReplyPairing::Forgive(uint32_t ticket)
{
    for (auto owed = m_owed.begin(); owed != m_owed.end(); ++owed) {
        if (owed->ticket == ticket) {
            if (m_state == kWaiting && static_cast<size_t>(owed - m_owed.begin()) < m_owedAhead)
                --m_owedAhead;
            m_owed.erase(owed);
            return;
        }
    }
}

bool ReplyPairing::Offer(uint32_t readNumber, const char* line)
{
    const bool final = IsFinalResultCode(line);
    if (m_state == kWaiting && m_owedAhead == 0) {
        if (!ReadAfter(readNumber, m_after))
            return false;
        m_matched = m_expected == line;
        m_state = kAnswered;
        if (!final)
            OweAhead(readNumber - 1);  // the rest of its reply, from this read on
        return true;
    }
    // A line of the first reply owed, once its line went; only its final
    // result code ends it.
    if (m_owed.empty() || !ReadAfter(readNumber, m_owed.front().after) || !final)
        return false;
    m_owed.erase(m_owed.begin());
    if (m_state == kWaiting) {
        --m_owedAhead;
        m_endedAfterItWent |= ReadAfter(readNumber, m_after);
    }
    return false;
}

int ReplyPairing::Finish()
{
    if (m_state == kWaiting && m_owedAhead == 0 && !m_endedAfterItWent)
        OweAhead(m_after);  // ahead of any owed behind it
    const bool matched = m_state == kAnswered && m_matched;
    m_state = kIdle;
    return matched ? 1 : 0;
}

void ReplyPairing::Forget()
{
    m_owed.clear();
    if (m_state == kWaiting)
        m_state = kEnded;
}
