#include "phone/submenu_line.h"

#include <limits.h>
#include <wchar.h>

namespace {

constexpr wchar_t kSubmenuPrefix[] = L"AT*EASM=\"";
constexpr size_t kSubmenuPrefixLength = 9;

bool IsBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// Copies [from, to) cut to the buffer, terminated; a cut falls between
// characters, never inside a surrogate pair. *wholeLength, when given, is
// the length before the cut.
void CopyText(const wchar_t* from, const wchar_t* to, wchar_t* text, size_t* wholeLength)
{
    size_t length = static_cast<size_t>(to - from);
    if (wholeLength != nullptr)
        *wholeLength = length;
    if (length > kSubmenuTextSize - 1) {
        length = kSubmenuTextSize - 1;
        if (from[length - 1] >= 0xD800 && from[length - 1] <= 0xDBFF)
            --length;
    }
    wmemcpy(text, from, length);
    text[length] = L'\0';
}

// %d: blanks, a sign, at least one digit; saturated at the int range.
bool ReadNumber(const wchar_t** at, int* number)
{
    const wchar_t* text = *at;
    while (IsBlank(*text))
        ++text;
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+')
        ++text;
    if (*text < L'0' || *text > L'9')
        return false;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (value <= INT_MAX)
            value = value * 10 + (*text - L'0');
    }
    if (value > INT_MAX)
        value = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
    *number = static_cast<int>(negative ? -value : value);
    *at = text;
    return true;
}

bool ReadCommaAndNumber(const wchar_t** at, int* number)
{
    if (**at != L',')
        return false;
    ++*at;
    return ReadNumber(at, number);
}

}  // namespace

const wchar_t* ReadSubmenuTitle(const wchar_t* line, wchar_t* title, size_t* length)
{
    if (wcsncmp(line, kSubmenuPrefix, kSubmenuPrefixLength) != 0)
        return nullptr;
    const wchar_t* start = line + kSubmenuPrefixLength;
    const wchar_t* end = wcschr(start, L'"');
    if (end == nullptr)
        return nullptr;
    CopyText(start, end, title, length);
    return end + 1;
}

bool ReadSubmenuNumbers(const wchar_t* afterTitle, int* selection, int* count, int* first)
{
    int firstRead = 0;
    if (!ReadCommaAndNumber(&afterTitle, &firstRead) ||
        !ReadCommaAndNumber(&afterTitle, selection) || !ReadCommaAndNumber(&afterTitle, count))
        return false;
    if (first != nullptr)
        *first = firstRead;
    return firstRead == 1;
}

bool ReadSubmenuItem(const wchar_t** scan, wchar_t* item, size_t* length)
{
    const wchar_t* open = wcschr(*scan, L'"');
    if (open == nullptr)
        return false;
    const wchar_t* close = wcschr(open + 1, L'"');
    if (close == nullptr)
        return false;
    CopyText(open + 1, close, item, length);
    *scan = close + 1;
    return true;
}

void ShowSubmenuLine(const wchar_t* line, SubmenuShower& shower)
{
    wchar_t text[kSubmenuTextSize] = {};
    const wchar_t* afterTitle = ReadSubmenuTitle(line, text);
    if (afterTitle == nullptr)
        return;
    shower.ShowTitle(text);
    int selection = 0;
    int count = 0;
    if (!ReadSubmenuNumbers(afterTitle, &selection, &count))
        return;
    const wchar_t* scan = afterTitle;
    for (int item = 0; item < count && ReadSubmenuItem(&scan, text); ++item)
        shower.AddItem(text);
    shower.SelectItem(selection - 1);
}
