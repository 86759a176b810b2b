// Reading what the accessory sends, without handles.
#pragma once

#include <stddef.h>

#include "link/character_set.h"

// Widens at most `length` bytes of received text in `set` (see DecodeText),
// cut between characters to fit `wideSize` units, the terminator included.
void WidenText(CharacterSet set, const char* text, size_t length, wchar_t* wide,
               size_t wideSize);

// Widens a whole command line whose quoted texts are in `set`. The rest of
// it is the command's own ASCII, taken byte for byte, so that the quotes and
// commas around the texts stay where they are whatever the texts hold. Cut
// between characters to fit `wideSize` units, the terminator included.
void WidenCommandLine(CharacterSet set, const char* line, wchar_t* wide, size_t wideSize);

// The length of an entry name: up to its first double quote, or to the end
// of the line when it has none.
size_t EntryNameLength(const char* name);
