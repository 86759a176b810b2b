// An entry registration is whatever the far end sent: its name ends at the
// first quote, and widening in 8859-1 keeps every byte as one character,
// cut to fit.
#include <stdint.h>
#include <string.h>

#include <string>

#include "phone/line_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const char* name = line.c_str();
    const size_t length = EntryNameLength(name);
    if (length > strlen(name) || memchr(name, '"', length) != nullptr ||
        (name[length] != '\0' && name[length] != '"'))
        __builtin_trap();
    const size_t wideSize = 1 + size % 300;
    wchar_t wide[300];
    WidenText(kLatin1, name, length, wide, wideSize);
    const size_t kept = length < wideSize - 1 ? length : wideSize - 1;
    for (size_t i = 0; i < kept; ++i) {
        if (wide[i] != static_cast<unsigned char>(name[i]))
            __builtin_trap();
    }
    if (wide[kept] != L'\0')
        __builtin_trap();
    return 0;
}
