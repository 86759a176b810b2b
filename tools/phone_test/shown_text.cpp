#include "tools/phone_test/shown_text.h"

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "phone/character_set.h"

namespace {

bool IsHigh(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point at text[at], with *units the units it takes.
uint32_t CodePoint(const std::wstring& text, size_t at, size_t* units)
{
    const uint32_t unit = static_cast<uint32_t>(text[at]) & 0xFFFF;
    *units = 1;
    if (IsHigh(unit) && at + 1 < text.size() &&
        IsLow(static_cast<uint32_t>(text[at + 1]) & 0xFFFF)) {
        *units = 2;
        return 0x10000 + ((unit - 0xD800) << 10) +
               ((static_cast<uint32_t>(text[at + 1]) & 0xFFFF) - 0xDC00);
    }
    return IsHigh(unit) || IsLow(unit) ? 0xFFFD : unit;
}

}  // namespace

std::string Utf8FromWide(const std::wstring& text)
{
    std::string utf8;
    size_t units = 0;
    for (size_t at = 0; at < text.size(); at += units) {
        const uint32_t c = CodePoint(text, at, &units);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | c >> 18);
            utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string PrintedText(const std::wstring& text)
{
    std::string printed;
    size_t units = 0;
    for (size_t at = 0; at < text.size(); at += units) {
        const uint32_t c = CodePoint(text, at, &units);
        if (c < 0x20 || c == '\\' || (c >= 0x7F && c < 0xA0)) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            printed += hex;
        } else {
            printed += Utf8FromWide(text.substr(at, units));
        }
    }
    return printed;
}

std::wstring WideFromUtf8(const std::string& text)
{
    std::vector<wchar_t> wide(text.size() + 1);  // no byte widens to more than one unit
    return std::wstring(wide.data(),
                        DecodeText(kUtf8, text.data(), text.size(), wide.data(), wide.size()));
}

// A star remembers where it stood; on a mismatch it takes one more
// character and the rest of the pattern is tried again from there.
bool MatchesPattern(const std::wstring& pattern, const std::wstring& text)
{
    size_t p = 0, t = 0, units = 0;
    size_t starAt = std::wstring::npos, resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starAt = ++p;
            resumeAt = t;
        } else if (p < pattern.size() && pattern[p] == L'?') {
            CodePoint(text, t, &units);
            ++p;
            t += units;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starAt != std::wstring::npos) {
            CodePoint(text, resumeAt, &units);
            resumeAt += units;
            p = starAt;
            t = resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

// U+FFFE and U+FFFF, which XML cannot hold, become U+FFFD too; a
// character past U+FFFF, such as U+1FFFE, it can.
std::string XmlText(const std::string& text)
{
    std::wstring wide = WideFromUtf8(text);
    for (wchar_t& unit : wide) {
        if (unit == 0xFFFE || unit == 0xFFFF)
            unit = 0xFFFD;
    }
    std::string escaped;
    for (const char c : Utf8FromWide(wide)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
                char hex[5];
                snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                escaped += hex;
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

bool MatchesAnyPattern(const std::vector<std::wstring>& patterns, const std::wstring& text)
{
    for (const std::wstring& pattern : patterns) {
        if (MatchesPattern(pattern, text))
            return true;
    }
    return false;
}
