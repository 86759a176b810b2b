#include "tools/trace/trace_line.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr size_t kSideWidth = 9;
const char* const kSides[] = {"accessory", "phone",  "finding", "summary",
                              "device",    "port",   "trace"};

// In the order of LinkNews.
const struct {
    const char* side;
    const char* text;
} kNews[] = {
    {"device", "gone"},
    {"device", "gone for good: a pty's number goes to the next terminal that asks for one, so it "
               "is not opened again"},
    {"device", "gone for good: its name leads to a terminal in use now, whose keys would be read "
               "as the accessory's, so it is not opened again"},
    {"device", "back"},
    {"port", "opened by the phone"},
    {"port", "closed by the phone"},
};
static_assert(sizeof kNews / sizeof *kNews == static_cast<size_t>(LinkNews::kPortClosed) + 1,
              "a line for every news");

struct Marker {
    LineEnd end;
    const char* text;
};
const Marker kMarkers[] = {
    {LineEnd::kPause, "\\pause"},
    {LineEnd::kFull, "\\full"},
    {LineEnd::kGone, "\\gone"},
    {LineEnd::kEnd, "\\end"},
};

bool Shown(unsigned char byte)
{
    return byte >= 0x20 && byte < 0x7F && byte != '\\';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool Escaped(const std::string& side)
{
    return side == "accessory" || side == "phone";
}

// Undoes the \xHH escapes of `text` into *bytes, and reads the marker
// that may close it.
bool Unescape(const char* text, std::string* bytes, LineEnd* end)
{
    *end = LineEnd::kCr;
    for (; *text != '\0'; ++text) {
        if (Shown(static_cast<unsigned char>(*text))) {
            *bytes += *text;
            continue;
        }
        if (*text != '\\')
            return false;
        if (text[1] == 'x') {
            const int high = HexValue(text[2]);
            const int low = high < 0 ? -1 : HexValue(text[3]);
            if (low < 0)
                return false;
            *bytes += static_cast<char>(high << 4 | low);
            text += 3;
            continue;
        }
        for (const Marker& marker : kMarkers) {
            if (strcmp(text, marker.text) == 0) {
                *end = marker.end;
                return true;
            }
        }
        return false;
    }
    return true;
}

}  // namespace

TraceLine NewsLine(uint64_t ms, LinkNews news)
{
    const auto& line = kNews[static_cast<size_t>(news)];
    return {ms, line.side, line.text, LineEnd::kCr};
}

bool ReadNews(const TraceLine& line, LinkNews* news)
{
    for (size_t at = 0; at < sizeof kNews / sizeof *kNews; ++at) {
        if (line.side == kNews[at].side && line.text == kNews[at].text) {
            *news = static_cast<LinkNews>(at);
            return true;
        }
    }
    return false;
}

std::string FormatTraceLine(const TraceLine& line)
{
    char head[64];
    snprintf(head, sizeof head, "%4llu.%03llu %-*s ",
             static_cast<unsigned long long>(line.ms / 1000),
             static_cast<unsigned long long>(line.ms % 1000), static_cast<int>(kSideWidth),
             line.side.c_str());
    std::string written = head;
    for (const char c : line.text) {
        const auto byte = static_cast<unsigned char>(c);
        if (Shown(byte)) {
            written += c;
        } else {
            char escape[5];
            snprintf(escape, sizeof escape, "\\x%02X", byte);
            written += escape;
        }
    }
    for (const Marker& marker : kMarkers) {
        if (marker.end == line.end)
            written += marker.text;
    }
    return written + '\n';
}

bool ParseTraceLine(const std::string& written, TraceLine* line)
{
    const char* at = written.c_str();
    while (*at == ' ')
        ++at;
    // Seconds, a point and three digits of milliseconds.
    uint64_t ms = 0;
    const char* digits = at;
    for (; IsDigit(*at); ++at)
        ms = ms * 10 + static_cast<uint64_t>(*at - '0');
    constexpr long kMostSecondsDigits = 12;  // far past any trace, far below overflow
    if (at == digits || at - digits > kMostSecondsDigits || at[0] != '.' || !IsDigit(at[1]) ||
        !IsDigit(at[2]) || !IsDigit(at[3]) || at[4] != ' ')
        return false;
    for (const char* digit = at + 1; digit != at + 4; ++digit)
        ms = ms * 10 + static_cast<uint64_t>(*digit - '0');
    line->ms = ms;
    at += 5;
    const size_t sideLength = strcspn(at, " ");
    line->side.assign(at, sideLength);
    bool known = false;
    for (const char* side : kSides)
        known |= line->side == side;
    if (!known)
        return false;
    at += sideLength;
    // The padding, and the one space before the text; a line with no text
    // may have lost its trailing blanks.
    for (size_t column = sideLength; column < kSideWidth + 1 && *at == ' '; ++column)
        ++at;
    line->text.clear();
    if (!Escaped(line->side)) {
        line->text = at;
        line->end = LineEnd::kCr;
        return true;
    }
    return Unescape(at, &line->text, &line->end) &&
           (line->side == "accessory" ||
            (line->end != LineEnd::kPause && line->end != LineEnd::kFull));
}
