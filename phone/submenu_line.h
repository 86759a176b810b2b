// Reading a stored submenu line (widened) as the list shows it: its title,
// its numbers and its quoted items. Pure text work, no handles.
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

// Where a submenu line is shown: the program's list, or a tool's record of
// what the phone shows.
class SubmenuShower {
public:
    virtual void ShowTitle(const wchar_t* title) = 0;
    virtual void AddItem(const wchar_t* item) = 0;
    // The 0-based index of the item to select, not checked against the
    // items added: selection - 1 as the line gives it.
    virtual void SelectItem(int index) = 0;

protected:
    ~SubmenuShower() = default;
};

// Shows a stored submenu line step by step as the phone does: nothing when
// its title cannot be read; else the title, and, when its numbers can be
// read, up to count items and the selection.
void ShowSubmenuLine(const wchar_t* line, SubmenuShower& shower);
