// What the phone answers to each line of the accessory's, and what the line
// changes, without handles: the program and the tools that play the phone
// answer through this one function.
#pragma once

#include "phone/character_set.h"
#include "phone/line_text.h"

// Every line is accepted with this, after any information line.
constexpr char kAcceptance[] = "OK";

struct PhoneAnswer {
    LineKind kind;
    // The line written before the acceptance: the character set's answer
    // to its two questions; null for every other line.
    const char* information;
    // The set in use once the line is taken: the declared one after a
    // declaration of a supported set, else the set in use before.
    CharacterSet setAfter;
};

// The answer to `line` while `inUse` is the character set in use.
PhoneAnswer AnswerAccessoryLine(const char* line, CharacterSet inUse);

// What the phone keeps of a line it has answered, for its list.
enum class KeptText {
    kNothing,      // the line changes nothing shown
    kEntryName,    // the list's title
    kEmptyName,    // hides the list's title; `kept` is left as it was
    kSubmenuLine,  // the whole line, for the list to show
};

// Widens into `kept` (kMenuLineSize units) the text the phone keeps of
// `line`, taken as `answer` says, in the set in use after it.
KeptText KeepLineText(const char* line, const PhoneAnswer& answer, wchar_t* kept);
