// A script of what a particular accessory must do, one step a line:
//
//     expect entry "Slides"
//     expect menu "Slide 1/12"            # the title; * and ? as in file names
//     expect items "Next" "Back" "First"
//     pick "Next"                         # by the item's text, or: pick 2
//     drop 2                              # the line goes for 2 s, then returns
//     wait 0.5
//
// Texts are UTF-8, between double quotes (which they cannot hold); a # out
// of quotes starts a comment. Every text is a pattern. Pure: no I/O.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum class StepKind { kExpectEntry, kExpectMenu, kExpectItems, kPick, kDrop, kWait };

struct ScriptStep {
    int line = 0;      // in the file, from 1
    std::string text;  // as written, without its comment and the blanks around
    StepKind kind = StepKind::kWait;
    std::vector<std::wstring> texts;  // the entry's, the title's, the items' or the pick's pattern
    int item = 0;                     // a pick by number, from 1; 0 for a pick by text
    uint32_t ms = 0;                  // how long a drop or a wait lasts
};

struct ScriptError {
    int line = 0;
    std::string what;
};

// The steps of a script's text, or false with the first line that cannot
// be read and what is wrong with it.
bool ReadScript(const std::string& text, std::vector<ScriptStep>* steps, ScriptError* error);
