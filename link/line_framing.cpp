#include "link/line_framing.h"

#include <string.h>

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

char* NextLine(LineCursor& cursor, size_t* length)
{
    while (cursor.next < cursor.end) {
        char* line = cursor.next;
        const char* lineEnd = static_cast<const char*>(memchr(line, '\0', cursor.end - line));
        const size_t lineLength = (lineEnd != nullptr ? lineEnd : cursor.end) - line;
        cursor.next = line + lineLength + 1;
        if (lineLength != 0) {
            *length = lineLength;
            return line;
        }
    }
    return nullptr;
}

size_t CompleteLinesLength(const char* batch, size_t length, bool bufferFull)
{
    for (size_t i = length; i > 0; --i) {
        if (batch[i - 1] == '\0')
            return i;
    }
    return bufferFull ? length : 0;
}
