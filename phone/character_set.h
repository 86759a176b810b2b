// The character sets in which an accessory may write the text of its entry
// names and menus, as it declares them with AT+CSCS, and the decoding of
// that text into the wide characters the screen shows. Pure text work, no
// handles. Wide text is UTF-16 units, whatever the width of wchar_t.
#pragma once

#include <stddef.h>

// In the order the supported-sets answer names them.
enum CharacterSet {
    kUtf8,    // "UTF-8"
    kLatin1,  // "8859-1", in use until an accessory declares another
    kIra,     // "IRA": 7-bit ASCII
    kUcs2,    // "UCS2": every UTF-16 unit as four hexadecimal digits
};

// What a line asks of the character set: "AT+CSCS?" the set in use,
// "AT+CSCS=?" the sets supported, "AT+CSCS=\"name\"" declares a set, all
// in any letter case. A declared name among the supported ones is
// kSetDeclared with the set in *declared; any other "AT+CSCS=" line (an
// unknown set, a name without its quotes) is kUnsupportedSetDeclared, which
// leaves the set in use as it is; any other line is kNoSetRequest.
enum CharacterSetRequest {
    kNoSetRequest,
    kSetInUseAsked,
    kSetsSupportedAsked,
    kSetDeclared,
    kUnsupportedSetDeclared,
};
CharacterSetRequest ReadCharacterSetRequest(const char* line, CharacterSet* declared);

// The information lines that answer the two questions, before the "OK":
// +CSCS: "UTF-8" and +CSCS: ("UTF-8","8859-1","IRA","UCS2").
const char* SetInUseAnswer(CharacterSet set);
extern const char kSetsSupportedAnswer[];

// Decodes `length` bytes of text in `set` into at most `room` UTF-16 units
// at `out`, and returns how many it wrote; *read, when given, says how many
// bytes they came from, and *unreadable how many of the characters written
// are U+FFFD for bytes that could not be read (a U+FFFD that the text
// itself encodes is not counted). A character that does not fit whole is left out,
// and so is everything after it. Whatever cannot be read (bytes that are no
// character of the set, a sequence cut short, bad hexadecimal digits, a
// surrogate without its partner, UCS2's U+0000, which would end the text)
// shows as U+FFFD, one for each maximal piece that could have begun a
// character.
size_t DecodeText(CharacterSet set, const char* text, size_t length, wchar_t* out, size_t room,
                  size_t* read = nullptr, size_t* unreadable = nullptr);
