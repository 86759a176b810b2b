// Checks the reader's receive buffer against a literal, byte-by-byte
// rendering of the framing rules. The input is arrivals: a byte of gap in
// milliseconds, a byte of length (in sixteens), then the bytes, again and
// again. The rules: a CR ends a line, LF and NUL are dropped, empty lines
// are no lines (but are counted where they stood), an unfinished line goes
// out as it stands once no byte has come for more than 200 ms, once it
// holds 2047 bytes, and at the end.
#include "link/line_framing.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct Arrival {
    uint32_t gapMs;
    std::string bytes;
};

std::vector<Arrival> Arrivals(const uint8_t* data, size_t size)
{
    std::vector<Arrival> arrivals;
    for (size_t at = 0; at + 2 <= size;) {
        const size_t length = data[at + 1] * 16 < size - at - 2 ? data[at + 1] * 16 : size - at - 2;
        arrivals.push_back({data[at], std::string(reinterpret_cast<const char*>(data) + at + 2, length)});
        at += 2 + length;
    }
    return arrivals;
}

Lines LiteralLines(const std::vector<Arrival>& arrivals)
{
    Lines lines;
    std::string line;
    const auto end = [&](bool byCr) {
        if (!line.empty() || byCr)
            lines.push_back(line);
        line.clear();
    };
    uint32_t now = 0, lastByte = 0;
    for (const Arrival& arrival : arrivals) {
        now += arrival.gapMs;
        if (now - lastByte > 200)
            end(false);
        if (!arrival.bytes.empty())
            lastByte = now;
        for (char byte : arrival.bytes) {
            if (byte == '\r')
                end(true);
            else if (byte != '\n' && byte != '\0')
                line += byte;
            if (line.size() == 2047)
                end(false);
        }
    }
    end(false);
    return lines;
}

void Take(LineCursor cursor, Lines& lines)
{
    size_t length = 0, empty = 0;
    for (;;) {
        char* line = NextLine(cursor, &length, &empty);
        lines.insert(lines.end(), empty, "");
        if (line == nullptr)
            return;
        if (length != strlen(line) || length == 0 || length > 2047)
            __builtin_trap();
        lines.emplace_back(line, length);
    }
}

// As the reader does it: the unfinished line goes out once the pause has
// passed; the bytes of an arrival are read as the buffer has room.
Lines BufferLines(const std::vector<Arrival>& arrivals)
{
    ReceiveBuffer buffer;
    Lines lines;
    uint32_t now = 0xFFFFFF00;  // across the tick count's wrap
    for (const Arrival& arrival : arrivals) {
        now += arrival.gapMs;
        if (buffer.HasUnfinished() && buffer.PauseLeft(now) == 0)
            Take(buffer.TakeUnfinished(), lines);
        for (size_t at = 0; at < arrival.bytes.size();) {
            const size_t count = std::min(buffer.Room(), arrival.bytes.size() - at);
            memcpy(buffer.Space(), arrival.bytes.data() + at, count);
            Take(buffer.Add(count, now), lines);
            at += count;
        }
    }
    Take(buffer.TakeUnfinished(), lines);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<Arrival> arrivals = Arrivals(data, size);
    if (LiteralLines(arrivals) != BufferLines(arrivals))
        __builtin_trap();
    return 0;
}
