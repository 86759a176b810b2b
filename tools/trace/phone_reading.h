// What the phone makes of each line of the accessory's, against what the
// line plainly meant. Each line is read twice with the program's own
// readers: as the program reads it (the widened line cut to its 260 units,
// each text to 64) and whole; where the two differ, or the line asks for
// something the phone does not do, there is a finding. Pure: no I/O.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "phone/character_set.h"
#include "tools/trace/trace_line.h"

enum FindingKind {
    kCutByPause,
    kEndedByLf,
    kOverBuffer,
    kCutByDevice,
    kBytesDropped,
    kCountDiffers,
    kSelectionOutside,
    kFirstNotOne,
    kNumbersUnreadable,
    kTextCut,
    kTextUnclosed,
    kLineCut,
    kNameUnclosed,
    kAfterName,
    kNameCut,
    kUnreadableText,
    kUndeclaredUtf8,
    kUnsupportedSet,
    kNotActedOn,
    kFindingKinds
};

struct Finding {
    FindingKind kind;
    std::string text;
    // The line it is about as the trace shows it: its raw bytes and how the
    // phone took it. Findings on a line that filled the buffer (kFull) come
    // with the line after it.
    std::string line;
    LineEnd end;
};

class PhoneReading {
public:
    // The findings on one line of the accessory's: its raw bytes (without
    // the CR that ended it, if one did) and how it ended. A line that filled
    // the phone's buffer (kFull) is held, and judged by what follows it: the
    // next line (its findings before that one's own), or nothing more (see
    // End, DeviceWent, ProgramLeft). Keeps what the session has declared,
    // and counts the findings by kind.
    std::vector<Finding> Read(const std::string& raw, LineEnd end);

    // The trace ends: the findings on a line still held, the whole line the
    // phone took.
    std::vector<Finding> End();
    // One line for each kind found, with its count, in the kinds' order;
    // "no findings" when there were none.
    std::vector<std::string> Summary() const;

    // Where the program starts afresh, so does its reading; either starts a
    // session, whose notes are told once. Each returns the findings on a
    // line still held, as End does. The device went: the next line starts
    // afresh, in the character set declared before, which the program keeps
    // across the device's return.
    std::vector<Finding> DeviceWent();
    // The program closed its port while the device stayed (it ended, or a
    // port was picked): all is as the program starts, in 8859-1.
    std::vector<Finding> ProgramLeft();

private:
    void ReadHeld(const std::string& after, LineEnd end);
    void ReadLine(const std::string& raw, LineEnd end);
    // The findings from `firstFound` on are about the line `raw`.
    void About(size_t firstFound, const std::string& raw, LineEnd end);
    void ReadFraming(const std::string& raw, LineEnd end, bool endedByLf);
    void ReadEntry(const char* line);
    void ReadSubmenu(const char* line);
    void ReadOther(const std::string& line, bool continues);
    void ReadTexts(size_t unreadable, bool differsAsUtf8);
    void Add(FindingKind kind, const std::string& text);

    CharacterSet m_set = kLatin1;  // as the program starts
    bool m_declared = false;       // whether a supported set was ever declared
    bool m_afterCr = false;        // the line before ended with its CR
    bool m_continues = false;      // the line before was cut: this is its rest
    std::string m_full;            // a line that filled the buffer, until the next is read
    std::set<std::string> m_reported;  // commands not acted on, told once
    std::vector<Finding> m_found;  // the line's, while it is read
    int m_counts[kFindingKinds] = {};
};
