// Reading a stored submenu line (widened) for the list: its title, its
// numbers and its quoted items. Pure text work, no handles.
#pragma once

#include <stddef.h>

// Title and items are copied into buffers of this size; longer texts are cut
// to fit, 63 UTF-16 units and the terminator, between characters.
constexpr size_t kSubmenuTextSize = 64;

// The title of a line that starts with AT*EASM=" (case-sensitive), copied
// into `title` (kSubmenuTextSize characters), with its length before any cut
// in *length when given; returns where the text after the title's closing
// quote starts, or null when the line is no submenu or its title has no
// closing quote.
const wchar_t* ReadSubmenuTitle(const wchar_t* line, wchar_t* title, size_t* length = nullptr);

// Reads ",first,selection,count" from right after the title as swscanf
// reads ",%d,%d,%d,": blanks and a sign before each number's digits, a
// comma right after the title and after the first two numbers. True when
// all three are read and first is 1; *first, when given, is set whenever
// all three are read.
bool ReadSubmenuNumbers(const wchar_t* afterTitle, int* selection, int* count,
                        int* first = nullptr);

// The next double-quoted item at or after *scan, copied into `item`
// (kSubmenuTextSize characters), with its length before any cut in *length
// when given; *scan moves past its closing quote. False when no complete
// quoted item is left.
bool ReadSubmenuItem(const wchar_t** scan, wchar_t* item, size_t* length = nullptr);
