#include "app/line_text.h"

#include <string.h>

void WidenText(const char* text, size_t length, wchar_t* wide, size_t wideSize)
{
    if (wideSize == 0)
        return;
    size_t i = 0;
    for (; i < length && text[i] != '\0' && i + 1 < wideSize; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = L'\0';
}

size_t EntryNameLength(const char* name)
{
    return strcspn(name, "\"");
}
