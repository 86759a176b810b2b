#include "tools/trace/accessory_lines.h"

#include <string.h>

#include <algorithm>

std::vector<RawLine> AccessoryLines::Arrived(const char* bytes, size_t count, uint32_t tick)
{
    m_raw.append(bytes, count);
    std::vector<RawLine> taken;
    // As the program reads: no more at once than the buffer has room for.
    for (size_t at = 0; at < count;) {
        const size_t part = std::min(m_buffer.Room(), count - at);
        memcpy(m_buffer.Space(), bytes + at, part);
        Take(m_buffer.Add(part, tick), LineEnd::kFull, taken);
        at += part;
    }
    return taken;
}

std::vector<RawLine> AccessoryLines::TakeUnfinished(LineEnd end)
{
    std::vector<RawLine> taken;
    if (m_buffer.HasUnfinished())
        Take(m_buffer.TakeUnfinished(), end, taken);
    if ((end == LineEnd::kEnd || end == LineEnd::kGone) && !m_raw.empty())
        taken.push_back({TakeRaw(m_raw.size()), end});
    return taken;
}

// A line that the buffer ends with its CR is every raw byte up to that CR;
// one it cuts (full, or taken as it stands) holds the raw bytes up to its
// last one kept, and for an unfinished line taken whole, the LFs and NULs
// after it too.
void AccessoryLines::Take(LineCursor lines, LineEnd cut, std::vector<RawLine>& taken)
{
    size_t length = 0, empty = 0;
    for (;;) {
        const char* line = NextLine(lines, &length, &empty);
        for (; empty != 0; --empty)
            taken.push_back({TakeThroughCr(), LineEnd::kCr});
        if (line == nullptr)
            return;
        if (line + length < lines.end) {
            taken.push_back({TakeThroughCr(), LineEnd::kCr});
            continue;
        }
        taken.push_back({TakeRaw(cut == LineEnd::kFull ? RawLength(length) : m_raw.size()), cut});
    }
}

// How many raw bytes hold the first `kept` bytes that the phone keeps.
size_t AccessoryLines::RawLength(size_t kept) const
{
    size_t used = 0;
    for (size_t seen = 0; seen < kept; ++used)
        seen += m_raw[used] != '\n' && m_raw[used] != '\0';
    return used;
}

// The raw bytes up to the next CR, which goes too.
std::string AccessoryLines::TakeThroughCr()
{
    std::string bytes = TakeRaw(m_raw.find('\r') + 1);
    bytes.pop_back();
    return bytes;
}

std::string AccessoryLines::TakeRaw(size_t length)
{
    std::string bytes = m_raw.substr(0, length);
    m_raw.erase(0, length);
    return bytes;
}
