// Decoding an accessory's text. UTF-8 is checked against the C library's
// iconv, an independent decoder: where the bytes are valid, the same
// characters; where they are not, U+FFFD (a run of them counted as one,
// since iconv says only where it stopped), and U+FFFD counted as unreadable
// exactly where iconv stopped. In every set, a cut to any room ends between
// characters, the rest decodes to what the cut left out, and the two count
// the unreadable pieces of the whole.
#include <errno.h>
#include <iconv.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "phone/character_set.h"

namespace {

constexpr size_t kMaxInput = 4096;  // scripts/fuzz's -max_len
constexpr size_t kRoom = kMaxInput * 2;
wchar_t g_whole[kRoom], g_cut[kRoom], g_rest[kRoom];
char16_t g_reference[kRoom];

// Each run of U+FFFD as one; returns the units kept, at the start. (A
// U+FFFD that the text encodes may stand beside the marks.)
template <typename Unit>
size_t Collapse(Unit* units, size_t count)
{
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] != 0xFFFD || kept == 0 || units[kept - 1] != 0xFFFD)
            units[kept++] = units[i];
    }
    return kept;
}

// iconv from the start, and again past each place it stops at: a byte that
// begins no character, with the continuation bytes after it, which begin
// none either; *stops counts the places.
size_t Reference(const uint8_t* data, size_t size, size_t* stops)
{
    static const iconv_t toUtf16 = iconv_open("UTF-16LE", "UTF-8");
    size_t units = 0;
    size_t at = 0;
    *stops = 0;
    while (at < size) {
        char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data)) + at;
        size_t inLeft = size - at;
        char* out = reinterpret_cast<char*>(g_reference + units);
        size_t outLeft = (kRoom - units) * sizeof *g_reference;
        iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
        const size_t converted = iconv(toUtf16, &in, &inLeft, &out, &outLeft);
        units = reinterpret_cast<char16_t*>(out) - g_reference;
        at = size - inLeft;
        if (converted == static_cast<size_t>(-1)) {
            ++*stops;
            if (units == 0 || g_reference[units - 1] != u'\xFFFD')
                g_reference[units++] = u'\xFFFD';
            for (++at; at < size && data[at] >= 0x80 && data[at] <= 0xBF; ++at) {
            }
        }
    }
    return units;
}

bool SameUnits(const wchar_t* ours, const char16_t* theirs, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (static_cast<char16_t>(ours[i]) != theirs[i])
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    size_t read = 0, unreadable = 0, stops = 0;
    const size_t utf8 =
        Collapse(g_whole, DecodeText(kUtf8, text, size, g_whole, kRoom, &read, &unreadable));
    if (utf8 != Collapse(g_reference, Reference(data, size, &stops)) ||
        !SameUnits(g_whole, g_reference, utf8) ||
        (unreadable == 0) != (stops == 0))
        __builtin_trap();

    const CharacterSet set = static_cast<CharacterSet>(size % 4);
    size_t wholeUnreadable = 0, cutUnreadable = 0, restUnreadable = 0;
    const size_t whole = DecodeText(set, text, size, g_whole, kRoom, &read, &wholeUnreadable);
    const auto marks = std::count(g_whole, g_whole + whole, 0xFFFD);
    if (read != size || wholeUnreadable > static_cast<size_t>(marks))
        __builtin_trap();
    const size_t room = size == 0 ? 0 : data[0] % (whole + 1);
    const size_t cut = DecodeText(set, text, size, g_cut, room, &read, &cutUnreadable);
    size_t restRead = 0;
    const size_t rest =
        DecodeText(set, text + read, size - read, g_rest, kRoom, &restRead, &restUnreadable);
    if (cut > room || cut + rest != whole || cutUnreadable + restUnreadable != wholeUnreadable ||
        memcmp(g_cut, g_whole, cut * sizeof *g_cut) != 0 ||
        memcmp(g_rest, g_whole + cut, rest * sizeof *g_rest) != 0 ||
        (cut != 0 && g_cut[cut - 1] >= 0xD800 && g_cut[cut - 1] <= 0xDBFF))
        __builtin_trap();
    return 0;
}
