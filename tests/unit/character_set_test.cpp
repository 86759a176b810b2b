#include "phone/character_set.h"

#include <gtest/gtest.h>

#include <string>

#include "phone/line_text.h"

namespace {

std::wstring Decoded(CharacterSet set, const std::string& bytes, size_t room = 100)
{
    wchar_t wide[101];
    return std::wstring(wide, DecodeText(set, bytes.data(), bytes.size(), wide, room));
}

const std::wstring kBad = L"\xFFFD";

TEST(CharacterSet, ShowsEachSetsTextAndMarksWhatCannotBeRead)
{
    const struct {
        CharacterSet set;
        std::string bytes;
        std::wstring shown;
    } cases[] = {
        {kLatin1, "\x80\xFF", L"\x80\xFF"},
        {kUtf8, "\xF0\x9F\x98\x80!", L"\xD83D\xDE00!"},  // past U+FFFF: a pair
        {kUtf8, "a\x80" "b\xFF", L"a" + kBad + L"b" + kBad},  // stray bytes
        {kUtf8, "\xE6\x97\",", kBad + L"\","},  // cut short: the quote stays
        {kUtf8, "\xF0\x9F\x98", kBad},           // one mark for the piece
        {kUtf8, "\xC0\xAF\xE0\x80\xAF", kBad + kBad + kBad + kBad + kBad},  // overlong
        {kUtf8, "\xED\xA0\x80", kBad + kBad + kBad},                        // a surrogate
        {kUtf8, "\xF4\x90\x80\x80", kBad + kBad + kBad + kBad},  // past U+10FFFF
        {kUcs2, "00e9D83DDE00", L"\xE9\xD83D\xDE00"},
        {kUcs2, "00G30041", kBad + L"A"},  // a bad digit
        {kUcs2, "0043006", L"C" + kBad},   // not a multiple of four
        {kUcs2, "D83D0041DE00", kBad + L"A" + kBad},  // surrogates without partners
        {kUcs2, "00410000", L"A" + kBad},  // U+0000 would end the text
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, Decoded(c.set, c.bytes)) << c.set << " " << c.bytes;

    // A cut falls between characters, never inside a pair.
    EXPECT_EQ(L"ab", Decoded(kUtf8, "ab\xF0\x9F\x98\x80", 3));
    EXPECT_EQ(L"ab", Decoded(kUcs2, "00610062D83DDE00", 3));
}

TEST(CharacterSet, LinesKeepTheirFraming)
{
    wchar_t wide[260];
    const struct {
        CharacterSet set;
        std::string line;
        size_t size;
        std::wstring shown;
    } cases[] = {
        {kUcs2, "AT*EASM=\"00430061\",1,1,2,\"00E9\",\"00220041\",1", 260,
         L"AT*EASM=\"Ca\",1,1,2,\"\xE9\",\"'A\",1"},  // an encoded quote frames nothing
        {kUtf8, "AT*EASM=\"\xE6\x97\",1,1,1,\"\xC3\",1", 260,
         L"AT*EASM=\"" + kBad + L"\",1,1,1,\"" + kBad + L"\",1"},
        {kUtf8, "\"\xC3\xA9\xF0\x9F\x98\x80\"", 4, L"\"\xE9"},  // the pair does not fit
        {kLatin1, "A=\"\xE9\"", 4, L"A=\""},
    };
    for (const auto& c : cases) {
        WidenCommandLine(c.set, c.line.c_str(), wide, c.size);
        EXPECT_EQ(c.shown, wide) << c.line;
    }
}

TEST(CharacterSet, AccessoriesDeclareAndAskInAnyCase)
{
    const struct {
        const char* line;
        CharacterSetRequest request;
        CharacterSet declared;  // when one is
    } cases[] = {
        {"AT+CSCS?", kSetInUseAsked, kLatin1},
        {"at+cscs=?", kSetsSupportedAsked, kLatin1},
        {"AT+CSCS=\"utf-8\"", kSetDeclared, kUtf8},
        {"At+Cscs=\"ira\"", kSetDeclared, kIra},
        {"AT+CSCS=\"UCS2\"", kSetDeclared, kUcs2},
        {"AT+CSCS=\"8859-1\"", kSetDeclared, kLatin1},
        {"AT+CSCS=\"GSM\"", kUnsupportedSetDeclared, kLatin1},
        {"AT+CSCS=\"UTF-8", kUnsupportedSetDeclared, kLatin1},
        {"AT+CSCS=UTF-8", kUnsupportedSetDeclared, kLatin1},
        {"AT+CSCS", kNoSetRequest, kLatin1},
        {"AT+CSCS??", kNoSetRequest, kLatin1},
    };
    for (const auto& c : cases) {
        CharacterSet declared = kLatin1;
        EXPECT_EQ(c.request, ReadCharacterSetRequest(c.line, &declared)) << c.line;
        EXPECT_EQ(c.declared, declared) << c.line;
    }
    EXPECT_STREQ("+CSCS: \"UCS2\"", SetInUseAnswer(kUcs2));
    EXPECT_STREQ("+CSCS: (\"UTF-8\",\"8859-1\",\"IRA\",\"UCS2\")", kSetsSupportedAnswer);
}

}  // namespace
