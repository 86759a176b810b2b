// What the phone answers to each line of the accessory's, and what the line
// changes, without handles: the program and the tools that play the phone
// answer through this one function.
#pragma once

#include "link/character_set.h"
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
