#include "app/line_text.h"

#include <string.h>

void WidenLine(const char* text, wchar_t* wide, size_t wideSize)
{
    if (wideSize == 0)
        return;
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < wideSize; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = L'\0';
}

size_t EntryNameLength(const char* name)
{
    return strcspn(name, "\"");
}
