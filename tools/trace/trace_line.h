// One line of a trace: when, who, and what crossed, written so that a person
// reads it and check-trace reads it back byte for byte:
//
//     12.345 accessory AT*EASM="Caf\xC3\xA9",1,1,1,"Play"
//
// seconds since the trace began, the side word padded to nine, and the text.
// Every byte outside printable ASCII, and the backslash, is written as \xHH,
// so a backslash followed by anything else is a marker: a line that did not
// end with its CR ends with one that says how it ended.
#pragma once

#include <stdint.h>

#include <string>

// How a line of the accessory's ended. Only kCr ends with its CR (which the
// trace leaves out); the phone took the others as they stood when the bytes
// paused for more than 200 ms (\pause), when they filled its 2047-byte
// buffer (\full), or when the device went (\gone); \end: the trace ended
// before the phone took it. A phone line ends with its CR, or is cut by the
// device going (\gone) or the trace ending (\end).
enum class LineEnd { kCr, kPause, kFull, kGone, kEnd };

struct TraceLine {
    uint64_t ms = 0;   // since the trace began
    std::string side;  // accessory, phone, finding, summary; device, port, trace
    std::string text;  // the bytes, unescaped; the other sides' words
    LineEnd end = LineEnd::kCr;
};

// What the relay saw of the link besides its lines, each a line of its own:
//
//      3.200 device    gone
//      3.700 device    back
//      4.100 port      opened by the phone
//
// (a trace line whose side is `trace` says how many lines it left out).
enum class LinkNews {
    kDeviceGone,
    kDeviceGoneForGood,  // a pty named as itself
    kDeviceNowATerminal,  // gone, its name leads to a terminal in use now
    kDeviceBack,
    kPortOpened,
    kPortClosed,
};
TraceLine NewsLine(uint64_t ms, LinkNews news);
// Which news `line` is; false for any other line.
bool ReadNews(const TraceLine& line, LinkNews* news);

// The line as the trace writes it, with its newline.
std::string FormatTraceLine(const TraceLine& line);

// Reads a line (without its newline) as FormatTraceLine wrote it; false for
// anything else. A finding's or summary's text is kept as written.
bool ParseTraceLine(const std::string& written, TraceLine* line);
