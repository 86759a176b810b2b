// Checks the reader's batch cleaning and line cutting against a literal
// byte-by-byte rendering of the framing rules: remove each NUL and LF by
// shifting the rest down, turn CR into a line end, then cut lines off the
// front of the buffer one at a time.
#include "link/line_framing.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr size_t kBatch = 2047;

std::vector<std::string> LiteralLines(const uint8_t* data, size_t size)
{
    char buffer[kBatch + 1] = {};
    size_t length = size < kBatch ? size : kBatch;
    memcpy(buffer, data, length);
    for (size_t i = 0; i < length;) {
        if (buffer[i] == '\0' || buffer[i] == '\n') {
            memmove(buffer + i, buffer + i + 1, length - i - 1);
            buffer[--length] = '\0';
        } else {
            if (buffer[i] == '\r')
                buffer[i] = '\0';
            ++i;
        }
    }
    std::vector<std::string> lines;
    size_t remaining = length;
    while (remaining != 0) {
        const size_t lineLength = strnlen(buffer, remaining);
        if (lineLength != 0)
            lines.emplace_back(buffer, lineLength);
        if (lineLength + 1 >= remaining)
            break;
        remaining -= lineLength + 1;
        memmove(buffer, buffer + lineLength + 1, remaining);
        memset(buffer + remaining, 0, lineLength + 1);
    }
    return lines;
}

std::vector<std::string> ReaderLines(const uint8_t* data, size_t size)
{
    char buffer[kBatch + 1] = {};
    const size_t length = size < kBatch ? size : kBatch;
    memcpy(buffer, data, length);
    const size_t cleaned = CleanBatch(buffer, length);
    // What waits for its rest is exactly the unfinished line, unless a
    // full buffer holds nothing else.
    const bool full = size >= kBatch;
    const size_t ready = CompleteLinesLength(buffer, cleaned, full);
    const bool lineEnd = memchr(buffer, '\0', cleaned) != nullptr;
    if (ready > cleaned || (ready != 0 && ready < cleaned && buffer[ready - 1] != '\0') ||
        memchr(buffer + ready, '\0', cleaned - ready) ||
        (ready == 0 && cleaned != 0 && (lineEnd || full)))
        __builtin_trap();
    LineCursor cursor = {buffer, buffer + cleaned};
    std::vector<std::string> lines;
    size_t lineLength = 0;
    while (char* line = NextLine(cursor, &lineLength)) {
        if (lineLength != strlen(line) || lineLength == 0)
            __builtin_trap();
        lines.emplace_back(line, lineLength);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (LiteralLines(data, size) != ReaderLines(data, size))
        __builtin_trap();
    return 0;
}
