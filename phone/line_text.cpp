#include "phone/line_text.h"

#include <string.h>

#include <algorithm>

#include "link/menu_protocol.h"

LineKind ReadLineKind(const char* line, CharacterSet* declared)
{
    switch (ReadCharacterSetRequest(line, declared)) {
    case kSetInUseAsked: return kSetInUseQuestion;
    case kSetsSupportedAsked: return kSetsSupportedQuestion;
    case kSetDeclared: return kSetDeclaration;
    case kUnsupportedSetDeclared: return kUnsupportedSetLine;
    case kNoSetRequest: break;
    }
    if (strncmp(line, kEntryPrefix, strlen(kEntryPrefix)) == 0)
        return kEntryLine;
    if (strncmp(line, kSubmenuPrefix, strlen(kSubmenuPrefix)) == 0)
        return kSubmenuLine;
    return kOtherLine;
}

void WidenText(CharacterSet set, const char* text, size_t length, wchar_t* wide,
               size_t wideSize, size_t* unreadable)
{
    if (unreadable != nullptr)
        *unreadable = 0;
    if (wideSize == 0)
        return;
    wide[DecodeText(set, text, length, wide, wideSize - 1, nullptr, unreadable)] = L'\0';
}

// A quote that a text encodes (UCS2's 0022) would end it early in the
// widened line: it shows as the apostrophe that stands for a quote in the
// texts we send.
void WidenCommandLine(CharacterSet set, const char* line, wchar_t* wide, size_t wideSize,
                      size_t* unreadable)
{
    if (unreadable != nullptr)
        *unreadable = 0;
    if (wideSize == 0)
        return;
    const size_t room = wideSize - 1;
    size_t written = 0;
    bool quoted = false;
    for (;;) {
        const size_t length = strcspn(line, "\"");
        size_t read = 0;
        size_t replaced = 0;
        const size_t decoded = DecodeText(quoted ? set : kLatin1, line, length,
                                          wide + written, room - written, &read, &replaced);
        std::replace(wide + written, wide + written + decoded, L'"', L'\'');
        written += decoded;
        if (unreadable != nullptr)
            *unreadable += replaced;
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
