// Reading what the accessory sends, without handles.
#pragma once

#include <stddef.h>

// Widens at most `length` bytes of received 8-bit text one byte to one
// character (ISO 8859-1), so that ASCII passes unchanged and no byte makes
// the conversion fail. Cut to fit `wideSize` characters, the terminator
// included.
void WidenText(const char* text, size_t length, wchar_t* wide, size_t wideSize);

// The length of an entry name: up to its first double quote, or to the end
// of the line when it has none.
size_t EntryNameLength(const char* name);
