// The trace of whatever the accessory sends: cut into lines by the phone's
// framing, each byte is in exactly one line, in order, a line cut at the
// buffer's end holding exactly the bytes the phone kept; every line and
// finding reads back from the trace as written, each finding names the line
// it is about (the one read, or the one before that filled the buffer, which
// is judged only then, or as the device goes or the trace ends, when it was
// no longer than the buffer), and reading a line never strays outside its
// buffers. Any text at all is read as a trace line
// without harm. The input is arrivals, as for the framing's fuzzer: a byte
// of gap in milliseconds, a byte of length (in sixteens), then the bytes.
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/trace/accessory_lines.h"
#include "tools/trace/phone_reading.h"
#include "tools/trace/trace_line.h"

namespace {

void ReadsBack(const TraceLine& line)
{
    const std::string written = FormatTraceLine(line);
    TraceLine read;
    if (written.back() != '\n' || !ParseTraceLine(written.substr(0, written.size() - 1), &read) ||
        read.ms != line.ms || read.side != line.side || read.end != line.end ||
        (line.side == "accessory" && read.text != line.text))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    TraceLine any;
    ParseTraceLine(std::string(bytes, size), &any);

    AccessoryLines lines;
    PhoneReading reading;
    std::string crossed, traced, full;
    uint32_t tick = 0xFFFFFF00;  // across the tick count's wrap
    uint64_t ms = 0;
    // Findings on the line held, once nothing more can follow it.
    const auto held = [&](const std::vector<Finding>& found) {
        for (const Finding& finding : found) {
            if (finding.end != LineEnd::kFull || finding.line != full ||
                finding.kind == kOverBuffer)
                __builtin_trap();
        }
    };
    const auto trace = [&](const std::vector<RawLine>& taken) {
        for (const RawLine& line : taken) {
            const auto dropped = std::count(line.bytes.begin(), line.bytes.end(), '\n') +
                                 std::count(line.bytes.begin(), line.bytes.end(), '\0');
            if (line.end == LineEnd::kFull &&
                line.bytes.size() - dropped != ReceiveBuffer::kLineLimit)
                __builtin_trap();
            traced += line.bytes + (line.end == LineEnd::kCr ? "\r" : "");
            ReadsBack({ms, "accessory", line.bytes, line.end});
            for (const Finding& finding : reading.Read(line.bytes, line.end)) {
                if (finding.end == LineEnd::kFull
                        ? finding.line != full
                        : finding.kind == kOverBuffer || finding.line != line.bytes ||
                              finding.end != line.end)
                    __builtin_trap();
                ReadsBack({ms, "finding", finding.text, LineEnd::kCr});
            }
            if (line.end == LineEnd::kFull)
                full = line.bytes;
        }
    };
    for (size_t at = 0; at + 2 <= size;) {
        const size_t length = std::min<size_t>(data[at + 1] * 16, size - at - 2);
        tick += data[at];
        ms += data[at];
        if (lines.HasUnfinished() && lines.PauseLeft(tick) == 0) {
            const LineEnd cut = at % 2 != 0 ? LineEnd::kPause : LineEnd::kGone;
            trace(lines.TakeUnfinished(cut));
            if (cut == LineEnd::kGone)
                held(reading.DeviceWent());  // as the relay's reading starts afresh
        }
        crossed.append(bytes + at + 2, length);
        trace(lines.Arrived(bytes + at + 2, length, tick));
        at += 2 + length;
    }
    trace(lines.TakeUnfinished(LineEnd::kEnd));
    held(reading.End());
    if (traced != crossed || reading.Summary().empty())
        __builtin_trap();
    return 0;
}
