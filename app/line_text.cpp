#include "app/line_text.h"

#include <string.h>

#include <algorithm>

void WidenText(CharacterSet set, const char* text, size_t length, wchar_t* wide,
               size_t wideSize)
{
    if (wideSize == 0)
        return;
    wide[DecodeText(set, text, length, wide, wideSize - 1)] = L'\0';
}

// A quote that a text encodes (UCS2's 0022) would end it early in the
// widened line: it shows as the apostrophe that stands for a quote in the
// texts we send.
void WidenCommandLine(CharacterSet set, const char* line, wchar_t* wide, size_t wideSize)
{
    if (wideSize == 0)
        return;
    const size_t room = wideSize - 1;
    size_t written = 0;
    bool quoted = false;
    for (;;) {
        const size_t length = strcspn(line, "\"");
        size_t read = 0;
        const size_t decoded = DecodeText(quoted ? set : kLatin1, line, length,
                                          wide + written, room - written, &read);
        std::replace(wide + written, wide + written + decoded, L'"', L'\'');
        written += decoded;
        if (read < length || line[length] == '\0' || written == room)
            break;
        wide[written++] = L'"';
        line += length + 1;
        quoted = !quoted;
    }
    wide[written] = L'\0';
}

size_t EntryNameLength(const char* name)
{
    return strcspn(name, "\"");
}
