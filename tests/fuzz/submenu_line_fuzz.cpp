// A stored submenu line is whatever the far end sent: any text, read the way
// the list reads it, must stay within the line and the 64-character buffers.
#include "phone/submenu_line.h"

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<wchar_t> line(data, data + size);  // one byte, one character
    line.push_back(L'\0');
    wchar_t text[kSubmenuTextSize];
    const wchar_t* afterTitle = ReadSubmenuTitle(line.data(), text);
    if (afterTitle == nullptr)
        return 0;
    if (wcslen(text) >= kSubmenuTextSize)
        __builtin_trap();
    int selection = 0;
    int count = 0;
    if (!ReadSubmenuNumbers(afterTitle, &selection, &count))
        return 0;
    const wchar_t* scan = afterTitle;
    for (int item = 0; item < count && ReadSubmenuItem(&scan, text); ++item) {
        if (wcslen(text) >= kSubmenuTextSize || scan > line.data() + line.size())
            __builtin_trap();
    }
    return 0;
}
