// The texts the phone shows (UTF-16 units, whatever the width of wchar_t),
// written for people and for XML as UTF-8, and matched against a script's
// patterns.
// Pure text work, no handles.
#pragma once

#include <string>
#include <vector>

// A unit of a broken surrogate pair becomes U+FFFD.
std::string Utf8FromWide(const std::wstring& text);

// For people, as UTF-8 with the control characters (C0, DEL, C1) and the
// backslash escaped as the trace escapes bytes (\xHH), so that an
// accessory's ESC does not garble a terminal or a log.
std::string PrintedText(const std::wstring& text);

// Read as the phone reads a declared UTF-8 text: what is no character
// becomes U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

// Text for XML: valid UTF-8 (a byte that is none, or a character XML
// cannot hold, becomes U+FFFD), with the markup characters escaped, and the
// control characters XML forbids written as \xHH.
std::string XmlText(const std::string& text);

// As a file name matches a pattern: * stands for any run of characters
// and ? for one; every other character stands for itself.
bool MatchesPattern(const std::wstring& pattern, const std::wstring& text);
bool MatchesAnyPattern(const std::vector<std::wstring>& patterns, const std::wstring& text);
