#include "link/line_framing.h"

#include <string.h>

#include "link/tick_span.h"

size_t CleanBatch(char* batch, size_t length)
{
    size_t kept = 0;
    for (size_t i = 0; i < length; ++i) {
        const char byte = batch[i];
        if (byte == '\0' || byte == '\n')
            continue;
        batch[kept++] = byte == '\r' ? '\0' : byte;
    }
    memset(batch + kept, 0, length - kept);
    return kept;
}

char* NextLine(LineCursor& cursor, size_t* length, size_t* emptySkipped)
{
    size_t skipped = 0;
    char* found = nullptr;
    while (found == nullptr && cursor.next < cursor.end) {
        char* line = cursor.next;
        const char* lineEnd = static_cast<const char*>(memchr(line, '\0', cursor.end - line));
        const size_t lineLength = (lineEnd != nullptr ? lineEnd : cursor.end) - line;
        cursor.next = line + lineLength + 1;
        if (lineLength == 0) {
            ++skipped;
            continue;
        }
        *length = lineLength;
        found = line;
    }
    if (emptySkipped != nullptr)
        *emptySkipped = skipped;
    return found;
}

size_t CompleteLinesLength(const char* batch, size_t length, bool bufferFull)
{
    for (size_t i = length; i > 0; --i) {
        if (batch[i - 1] == '\0')
            return i;
    }
    return bufferFull ? length : 0;
}

// The lines lent last time have been handed out: the unfinished line moves
// to the front, and the bytes it leaves behind read as NUL again.
void ReceiveBuffer::Settle()
{
    if (m_lent == 0)
        return;
    memmove(m_bytes, m_bytes + m_lent, m_held);
    memset(m_bytes + m_held, 0, m_lent);
    m_lent = 0;
}

char* ReceiveBuffer::Space()
{
    Settle();
    return m_bytes + m_held;
}

// Bytes that arrive while the owner keeps the reader busy past the pause
// still continue their line: the pause counts from the last read that
// brought any.
LineCursor ReceiveBuffer::Add(size_t count, uint32_t tick)
{
    Settle();
    if (count == 0)
        return {m_bytes, m_bytes};
    m_lastByteTick = tick;
    // Whether the buffer is full counts what stays once cleaning has
    // dropped LFs and NULs, not what the read brought.
    const size_t length = m_held + CleanBatch(m_bytes + m_held, count);
    const size_t ready = CompleteLinesLength(m_bytes, length, length >= kLineLimit);
    m_lent = ready;
    m_held = length - ready;
    return {m_bytes, m_bytes + ready};
}

uint32_t ReceiveBuffer::PauseLeft(uint32_t now) const
{
    return TicksLeft(m_lastByteTick, kLinePauseMs + 1, now);
}

LineCursor ReceiveBuffer::TakeUnfinished()
{
    Settle();
    m_lent = m_held;
    m_held = 0;
    return {m_bytes, m_bytes + m_lent};
}
