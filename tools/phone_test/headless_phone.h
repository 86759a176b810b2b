// The phone without a screen: each line of the accessory's, as the phone's
// framing took it, is answered and read exactly as the program answers and
// reads it, with the program's own code (phone/), and what the program's
// list would show is kept instead. Pure: the caller reads and writes.
#pragma once

#include <string>
#include <vector>

#include "phone/character_set.h"
#include "phone/phone_answer.h"
#include "tools/trace/trace_line.h"

// What the phone shows after a line: the entry's name, or a submenu.
struct ShownMenu {
    std::wstring title;  // the list's header: the last title read, or entry name
    std::vector<std::wstring> items;
};

struct Shown {
    enum Kind { kEntry, kMenu } kind;
    std::wstring entry;  // kEntry: the name, empty when it hides the header
    ShownMenu menu;      // kMenu
    // Set by whoever sends the picks: the line came before the accessory
    // had read the last pick, so it is no answer to it.
    bool beforePickRead = false;
};

class HeadlessPhone {
public:
    // One line as it crossed (its raw bytes, without the CR that ended it)
    // and how it ended. Returns the lines the phone answers with, in order,
    // each without its CR; *shown gets what the line made the phone show.
    std::vector<std::string> Take(const std::string& raw, LineEnd end, std::vector<Shown>* shown);

    CharacterSet SetInUse() const { return m_set; }

private:
    void TakeLine(const char* line, const PhoneAnswer& answer, std::vector<Shown>* shown);

    // Kept while the line drops and returns, as the program keeps it while
    // the same device goes and comes back.
    CharacterSet m_set = kLatin1;
    std::wstring m_header;
};
