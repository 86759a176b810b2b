#include "tools/phone_test/test_script.h"

#include <stdlib.h>

#include <algorithm>

#include "tools/phone_test/shown_text.h"

namespace {

// Longer than any accessory's step could need, short of overflowing.
constexpr double kMostSeconds = 3600;

struct Token {
    bool quoted;
    std::string text;
};
using Tokens = std::vector<Token>;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The line's words and quoted texts, up to a # out of quotes; *written
// gets the line as written, without the comment and the blanks around.
bool Tokenize(const std::string& line, Tokens* tokens, std::string* written, std::string* wrong)
{
    size_t at = 0, end = 0;
    for (;;) {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
        if (at == line.size() || line[at] == '#')
            break;
        if (line[at] == '"') {
            const size_t close = line.find('"', at + 1);
            if (close == std::string::npos) {
                *wrong = "a quote is not closed";
                return false;
            }
            tokens->push_back({true, line.substr(at + 1, close - at - 1)});
            at = end = close + 1;
            continue;
        }
        end = std::min(line.find_first_of(" \t\r\"#", at), line.size());
        tokens->push_back({false, line.substr(at, end - at)});
        at = end;
    }
    const size_t start = line.find_first_not_of(" \t");
    *written = start < end ? line.substr(start, end - start) : "";
    return true;
}

// Decimal seconds, such as 2 or 0.5, from `least` up to kMostSeconds.
bool ReadSeconds(const Tokens& tokens, double least, uint32_t* ms)
{
    if (tokens.size() != 2 || tokens[1].quoted || tokens[1].text.empty() ||
        tokens[1].text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char* end = nullptr;
    const double seconds = strtod(tokens[1].text.c_str(), &end);
    if (*end != '\0' || seconds < least || seconds > kMostSeconds)
        return false;
    *ms = static_cast<uint32_t>(seconds * 1000 + 0.5);
    return true;
}

// The quoted texts from tokens[from] on; false when a word stands among them.
bool TakeTexts(const Tokens& tokens, size_t from, ScriptStep* step)
{
    for (size_t i = from; i < tokens.size(); ++i) {
        if (!tokens[i].quoted)
            return false;
        step->texts.push_back(WideFromUtf8(tokens[i].text));
    }
    return true;
}

bool ReadExpect(const Tokens& tokens, ScriptStep* step, std::string* wrong)
{
    const std::string object = tokens.size() > 1 && !tokens[1].quoted ? tokens[1].text : "";
    if (object == "items") {
        step->kind = StepKind::kExpectItems;
        if (TakeTexts(tokens, 2, step))
            return true;
        *wrong = "`expect items` takes the items' texts, each in quotes";
        return false;
    }
    if (object != "entry" && object != "menu") {
        *wrong = "`expect` takes entry, menu or items";
        return false;
    }
    step->kind = object == "entry" ? StepKind::kExpectEntry : StepKind::kExpectMenu;
    if (tokens.size() == 3 && TakeTexts(tokens, 2, step))
        return true;
    *wrong = "`expect " + object + "` takes one text in quotes";
    return false;
}

bool ReadPick(const Tokens& tokens, ScriptStep* step, std::string* wrong)
{
    step->kind = StepKind::kPick;
    if (tokens.size() == 2 && tokens[1].quoted)
        return TakeTexts(tokens, 1, step);
    const std::string number = tokens.size() == 2 ? tokens[1].text : "";
    if (!number.empty() && number.size() <= 4 &&
        number.find_first_not_of("0123456789") == std::string::npos && atoi(number.c_str()) > 0) {
        step->item = atoi(number.c_str());
        return true;
    }
    *wrong = "`pick` takes an item's text in quotes, or its number from 1";
    return false;
}

bool ReadStep(const Tokens& tokens, ScriptStep* step, std::string* wrong)
{
    const std::string verb = tokens[0].quoted ? "\"" + tokens[0].text + "\"" : tokens[0].text;
    if (verb == "expect")
        return ReadExpect(tokens, step, wrong);
    if (verb == "pick")
        return ReadPick(tokens, step, wrong);
    if (verb == "drop" || verb == "wait") {
        step->kind = verb == "drop" ? StepKind::kDrop : StepKind::kWait;
        if (ReadSeconds(tokens, verb == "drop" ? 0.001 : 0, &step->ms))
            return true;
        *wrong = "`" + verb + "` takes seconds, such as 2 or 0.5, up to 3600";
        return false;
    }
    *wrong = "`" + verb + "` is no step: a step is expect, pick, drop or wait";
    return false;
}

}  // namespace

bool ReadScript(const std::string& text, std::vector<ScriptStep>* steps, ScriptError* error)
{
    int number = 0;
    for (size_t at = 0; at < text.size() || number == 0;) {
        ++number;
        const size_t newline = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, newline - at);
        at = newline + 1;
        Tokens tokens;
        ScriptStep step;
        step.line = number;
        std::string wrong;
        if (line.find('\0') != std::string::npos)
            wrong = "a NUL byte: this is no script";
        else if (Tokenize(line, &tokens, &step.text, &wrong) && !tokens.empty() &&
                 ReadStep(tokens, &step, &wrong))
            steps->push_back(step);
        if (!wrong.empty()) {
            *error = {number, wrong};
            return false;
        }
    }
    return true;
}
