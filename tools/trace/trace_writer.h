// Writes a trace: each line as it crosses, the findings on an accessory's
// line right after it, the relay's news of the link, and the summary at the
// end. Written to a FILE, every line is flushed as it is written, so that a
// trace watched as it grows (tail -f) shows it at once.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/trace/phone_reading.h"
#include "tools/trace/trace_line.h"

class TraceWriter {
public:
    // Takes each line as written, with its newline.
    using Put = std::function<void(const std::string& line)>;

    explicit TraceWriter(FILE* out);
    explicit TraceWriter(Put put) : m_put(std::move(put)) {}

    // Writes the line and the findings on it (or on the line before, see
    // PhoneReading::Read), and returns those.
    std::vector<Finding> Accessory(uint64_t ms, const std::string& bytes, LineEnd end);
    void Phone(uint64_t ms, const std::string& bytes, LineEnd end);
    // News, a line of the relay's own read back from a trace (news, or
    // lines left out), and the summary each end a line that filled the
    // phone's buffer, if one is held: its findings are written first, and
    // returned. The reading starts afresh where the news says.
    std::vector<Finding> News(uint64_t ms, LinkNews news);
    std::vector<Finding> Relayed(const TraceLine& line);
    std::vector<Finding> Summary(uint64_t ms);

private:
    std::vector<Finding> Found(uint64_t ms, std::vector<Finding> findings);
    void Write(uint64_t ms, const char* side, const std::string& text, LineEnd end);

    Put m_put;
    PhoneReading m_reading;
};
