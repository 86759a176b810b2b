// The accessory's bytes cut into lines where the phone cuts them: the
// program's own receive buffer decides when a line is complete, and each
// line keeps the raw bytes it was made of (the LFs and NULs the phone drops,
// and its CR), so that the trace shows exactly what crossed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "link/line_framing.h"
#include "tools/trace/trace_line.h"

struct RawLine {
    std::string bytes;  // as they crossed, but for the CR that ended it
    LineEnd end;
};

class AccessoryLines {
public:
    // `count` bytes arrived at the millisecond tick `tick`; the lines they
    // complete, empty ones (a lone CR) included.
    std::vector<RawLine> Arrived(const char* bytes, size_t count, uint32_t tick);

    bool HasUnfinished() const { return m_buffer.HasUnfinished(); }
    // See ReceiveBuffer::PauseLeft: 0 once the phone takes the unfinished
    // line by the pause.
    uint32_t PauseLeft(uint32_t now) const { return m_buffer.PauseLeft(now); }

    // The unfinished line as it stands, ended by `end` (kPause, kGone), or
    // none. kGone and kEnd take also the bytes the phone had dropped without
    // a line to hold them (an LF after the last CR): none of them joins the
    // next session's first line.
    std::vector<RawLine> TakeUnfinished(LineEnd end);

private:
    void Take(LineCursor lines, LineEnd cut, std::vector<RawLine>& taken);
    size_t RawLength(size_t kept) const;
    std::string TakeThroughCr();
    std::string TakeRaw(size_t length);

    ReceiveBuffer m_buffer;
    std::string m_raw;  // arrived, and in no line yet
};
