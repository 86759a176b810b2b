// Reading what the accessory sends, without handles: the program and the
// tools that play or watch the phone read with these.
#pragma once

#include <stddef.h>

#include "phone/character_set.h"

// The stored menu line, an entry name or a whole submenu line widened, holds
// this many UTF-16 units, the terminator included: the rest is cut.
constexpr int kMenuLineSize = 260;

// What the phone takes a line for. The character set's lines are read in
// any letter case (see ReadCharacterSetRequest), the entry and the submenu
// by their prefixes, as sent; any other line is answered and left alone.
enum LineKind {
    kOtherLine,
    kSetInUseQuestion,
    kSetsSupportedQuestion,
    kSetDeclaration,       // *declared says which
    kUnsupportedSetLine,   // declares a set the phone does not know
    kEntryLine,            // AT*EAM="name"
    kSubmenuLine,          // AT*EASM="title",...
};
LineKind ReadLineKind(const char* line, CharacterSet* declared);

// Widens at most `length` bytes of received text in `set` (see DecodeText),
// cut between characters to fit `wideSize` units, the terminator included.
// *unreadable, when given, counts the characters that could not be read.
void WidenText(CharacterSet set, const char* text, size_t length, wchar_t* wide,
               size_t wideSize, size_t* unreadable = nullptr);

// Widens a whole command line whose quoted texts are in `set`. The rest of
// it is the command's own ASCII, taken byte for byte, so that the quotes and
// commas around the texts stay where they are whatever the texts hold. Cut
// between characters to fit `wideSize` units, the terminator included.
// *unreadable, when given, counts the characters of the kept texts that
// could not be read.
void WidenCommandLine(CharacterSet set, const char* line, wchar_t* wide, size_t wideSize,
                      size_t* unreadable = nullptr);

// The length of an entry name: up to its first double quote, or to the end
// of the line when it has none.
size_t EntryNameLength(const char* name);
