#include "phone/character_set.h"

#include <stdint.h>
#include <string.h>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
// What the readers below return for bytes that begin no character: past
// every code point, so that it cannot be mistaken for a U+FFFD the text
// encodes. It is written as kReplacement.
constexpr uint32_t kUnreadable = 0x110000;
constexpr char kCommand[] = "AT+CSCS";

struct SupportedSet {
    const char* name;
    const char* inUseAnswer;
};
// In the order of CharacterSet, the supported-sets answer's order.
const SupportedSet kSupportedSets[] = {
    {"UTF-8", "+CSCS: \"UTF-8\""},
    {"8859-1", "+CSCS: \"8859-1\""},
    {"IRA", "+CSCS: \"IRA\""},
    {"UCS2", "+CSCS: \"UCS2\""},
};

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` starts with `prefix` (upper case), in any letter case.
bool StartsWithAnyCase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (Upper(*text) != *prefix)
            return false;
    }
    return true;
}

bool EqualsAnyCase(const char* text, size_t length, const char* upper)
{
    return strlen(upper) == length && StartsWithAnyCase(text, upper);
}

bool IsSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// A UTF-8 character from the `left` bytes at `bytes`, with *used the bytes
// it took; for bytes that begin none, kUnreadable for the longest piece
// that could still have begun one. The ranges of the second byte rule out
// overlong forms, surrogates and values past U+10FFFF.
uint32_t NextUtf8(const unsigned char* bytes, size_t left, size_t* used)
{
    const unsigned char lead = bytes[0];
    *used = 1;
    if (lead < 0x80)
        return lead;
    size_t more = 0;
    uint32_t value = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kUnreadable;
    }
    for (size_t i = 1; i <= more; ++i) {
        if (i >= left || bytes[i] < low || bytes[i] > high) {
            *used = i;
            return kUnreadable;
        }
        value = value << 6 | (bytes[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *used = more + 1;
    return value;
}

int HexDigit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<unsigned char>(Upper(static_cast<char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// A UTF-16 unit written as four hexadecimal digits; kUnreadable for a
// group with a bad digit, or the short group at the end.
uint32_t NextHexUnit(const unsigned char* bytes, size_t left, size_t* used)
{
    *used = left < 4 ? left : 4;
    if (left < 4)
        return kUnreadable;
    uint32_t unit = 0;
    for (size_t i = 0; i < 4; ++i) {
        const int digit = HexDigit(bytes[i]);
        if (digit < 0)
            return kUnreadable;
        unit = unit << 4 | static_cast<uint32_t>(digit);
    }
    return unit;
}

// A character of UCS2 text: one unit, or a high and a low surrogate
// together; a surrogate without its partner is kUnreadable, and so is
// U+0000, which would end the text where it stands.
uint32_t NextUcs2(const unsigned char* bytes, size_t left, size_t* used)
{
    const uint32_t unit = NextHexUnit(bytes, left, used);
    if (unit == 0)
        return kUnreadable;
    if (!IsSurrogate(unit))
        return unit;
    if (unit >= 0xDC00)
        return kUnreadable;
    size_t lowUsed = 0;
    const uint32_t low = NextHexUnit(bytes + *used, left - *used, &lowUsed);
    if (low < 0xDC00 || low > 0xDFFF)
        return kUnreadable;
    *used += lowUsed;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

uint32_t NextCharacter(CharacterSet set, const unsigned char* bytes, size_t left, size_t* used)
{
    switch (set) {
    case kUtf8: return NextUtf8(bytes, left, used);
    case kUcs2: return NextUcs2(bytes, left, used);
    case kIra: *used = 1; return bytes[0] < 0x80 ? bytes[0] : kUnreadable;
    case kLatin1: break;
    }
    *used = 1;
    return bytes[0];
}

}  // namespace

const char kSetsSupportedAnswer[] = "+CSCS: (\"UTF-8\",\"8859-1\",\"IRA\",\"UCS2\")";

CharacterSetRequest ReadCharacterSetRequest(const char* line, CharacterSet* declared)
{
    if (!StartsWithAnyCase(line, kCommand))
        return kNoSetRequest;
    const char* rest = line + strlen(kCommand);
    if (strcmp(rest, "?") == 0)
        return kSetInUseAsked;
    if (strcmp(rest, "=?") == 0)
        return kSetsSupportedAsked;
    if (rest[0] != '=')
        return kNoSetRequest;
    if (rest[1] != '"')
        return kUnsupportedSetDeclared;
    const char* name = rest + 2;
    const size_t length = strlen(name);
    if (length == 0 || name[length - 1] != '"')
        return kUnsupportedSetDeclared;
    for (int set = kUtf8; set <= kUcs2; ++set) {
        if (EqualsAnyCase(name, length - 1, kSupportedSets[set].name)) {
            *declared = static_cast<CharacterSet>(set);
            return kSetDeclared;
        }
    }
    return kUnsupportedSetDeclared;
}

const char* SetInUseAnswer(CharacterSet set)
{
    return kSupportedSets[set].inUseAnswer;
}

size_t DecodeText(CharacterSet set, const char* text, size_t length, wchar_t* out, size_t room,
                  size_t* read, size_t* unreadable)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t written = 0;
    size_t at = 0;
    size_t replaced = 0;
    while (at < length) {
        size_t used = 0;
        uint32_t character = NextCharacter(set, bytes + at, length - at, &used);
        const bool readable = character != kUnreadable;
        if (!readable)
            character = kReplacement;
        const size_t units = character > 0xFFFF ? 2 : 1;
        if (room - written < units)
            break;
        replaced += !readable;
        if (units == 2) {
            character -= 0x10000;
            out[written++] = static_cast<wchar_t>(0xD800 + (character >> 10));
            character = 0xDC00 + (character & 0x3FF);
        }
        out[written++] = static_cast<wchar_t>(character);
        at += used;
    }
    if (read != nullptr)
        *read = at;
    if (unreadable != nullptr)
        *unreadable = replaced;
    return written;
}
