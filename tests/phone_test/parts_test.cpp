// The phone-test's pure parts: the script's reading, the walk's bookkeeping,
// the patterns and texts, and the headless phone's own keeping of the set
// and the header across lines.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tools/phone_test/headless_phone.h"
#include "tools/phone_test/menu_walk.h"
#include "tools/phone_test/pick_read.h"
#include "tools/phone_test/shown_text.h"
#include "tools/phone_test/test_script.h"

namespace {

TEST(PhoneTestScript, ReadsEachStep)
{
    std::vector<ScriptStep> steps;
    ScriptError error;
    ASSERT_TRUE(ReadScript("# a comment\nexpect entry \"Sl#des\"   # the # in quotes is text\n"
                           "\texpect menu \"Slide ?/12*\"\r\nexpect items \"Next\" \"B\u00E4ck\"\n"
                           "expect items\npick \"Next\"\npick 12\n\ndrop 2\nwait 0.25",
                           &steps, &error))
        << error.line << ": " << error.what;
    using Step = std::tuple<int, std::string, StepKind, std::vector<std::wstring>, int, uint32_t>;
    const std::vector<Step> expected = {
        {2, "expect entry \"Sl#des\"", StepKind::kExpectEntry, {L"Sl#des"}, 0, 0},
        {3, "expect menu \"Slide ?/12*\"", StepKind::kExpectMenu, {L"Slide ?/12*"}, 0, 0},
        {4, "expect items \"Next\" \"B\u00E4ck\"", StepKind::kExpectItems, {L"Next", L"B\u00E4ck"},
         0, 0},
        {5, "expect items", StepKind::kExpectItems, {}, 0, 0},
        {6, "pick \"Next\"", StepKind::kPick, {L"Next"}, 0, 0},
        {7, "pick 12", StepKind::kPick, {}, 12, 0},
        {9, "drop 2", StepKind::kDrop, {}, 0, 2000},
        {10, "wait 0.25", StepKind::kWait, {}, 0, 250},
    };
    std::vector<Step> read;
    for (const ScriptStep& step : steps)
        read.emplace_back(step.line, step.text, step.kind, step.texts, step.item, step.ms);
    EXPECT_EQ(expected, read);
}

// The first line that cannot be read is named, with what is wrong.
TEST(PhoneTestScript, NamesTheLineThatCannotBeRead)
{
    const struct {
        std::string script;
        int line;
        const char* what;
    } cases[] = {
        {"wait 1\nexpect menu \"Slide", 2, "a quote is not closed"},
        {"expect title \"A\"", 1, "`expect` takes entry, menu or items"},
        {"expect \"menu\" \"A\"", 1, "`expect` takes entry, menu or items"},
        {"expect menu A", 1, "`expect menu` takes one text in quotes"},
        {"expect entry \"A\" \"B\"", 1, "`expect entry` takes one text in quotes"},
        {"expect items \"A\" B", 1, "`expect items` takes the items' texts, each in quotes"},
        {"pick", 1, "`pick` takes an item's text in quotes, or its number from 1"},
        {"pick 0", 1, "`pick` takes"},
        {"pick -1", 1, "`pick` takes"},
        {"pick 99999", 1, "`pick` takes"},
        {"pick \"A\" \"B\"", 1, "`pick` takes"},
        {"\n\ndrop", 3, "`drop` takes seconds, such as 2 or 0.5, up to 3600"},
        {"drop 0", 1, "`drop` takes seconds"},
        {"drop 1.2.3", 1, "`drop` takes seconds"},
        {"wait 3601", 1, "`wait` takes seconds"},
        {"wait 1e3", 1, "`wait` takes seconds"},
        {"wait -1", 1, "`wait` takes seconds"},
        {"Pick 1", 1, "`Pick` is no step: a step is expect, pick, drop or wait"},
        {"\"pick\" 1", 1, "`\"pick\"` is no step"},
        {"wait 1\n\xEF\xBB\xBFwait 1", 2, "is no step"},
        {std::string("wait 1\0", 7), 1, "a NUL byte: this is no script"},
    };
    for (const auto& c : cases) {
        std::vector<ScriptStep> steps;
        ScriptError error;
        EXPECT_FALSE(ReadScript(c.script, &steps, &error)) << c.script;
        EXPECT_EQ(c.line, error.line) << c.script;
        EXPECT_NE(std::string::npos, error.what.find(c.what)) << c.script << ": " << error.what;
    }
}

// Texts are UTF-16 units whatever the width of wchar_t: a character past
// U+FFFF is a surrogate pair.
TEST(PhoneTestText, PatternsMatchAsFileNames)
{
    const struct {
        const wchar_t* pattern;
        const wchar_t* text;
        bool matches;
    } cases[] = {
        {L"Slide 1/12", L"Slide 1/12", true},
        {L"Slide 1/12", L"Slide 1/12 ", false},
        {L"Slide ?/12", L"Slide 3/12", true},
        {L"Slide ?/12", L"Slide 10/12", false},
        {L"Slide */12*", L"Slide 10/12 Caf\u00E9", true},
        {L"*", L"", true},
        {L"?", L"", false},
        {L"a*b*c", L"abxbyc", true},
        {L"a*b*c", L"abxbyd", false},
        {L"**a", L"bba", true},
        {L"[ab]", L"a", false},
        {L"x?y", L"x\xD83D\xDE00y", true},
        {L"x??y", L"x\xD83D\xDE00y", false},
        {L"*\xD83D\xDE00", L"ab\xD83D\xDE00", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.matches, MatchesPattern(c.pattern, c.text)) << c.pattern << " ~ " << c.text;
}

// A unit of a broken pair, and a byte that is no UTF-8, read as U+FFFD; in
// XML, U+FFFE and U+FFFF too (U+1FFFE is a character XML holds).
TEST(PhoneTestText, WritesValidUtf8ForPeopleAndXml)
{
    EXPECT_EQ("\u0141\u00F3d\u017A \U0001F600", Utf8FromWide(L"\u0141\u00F3d\u017A \xD83D\xDE00"));
    EXPECT_EQ("a\uFFFDb", Utf8FromWide(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}));
    EXPECT_EQ(L"B\u00E4ck\uFFFD", WideFromUtf8("B\u00E4ck\xFF"));
    EXPECT_EQ("&lt;a b=&quot;1&quot;&gt; &amp; \\x01\\x1B\ttab\n \uFFFD \uFFFD\uFFFD \U0001FFFE",
              XmlText("<a b=\"1\"> & \x01\x1B\ttab\n \xC3 \xEF\xBF\xBE\xEF\xBF\xBF \U0001FFFE"));
    // Printed, the control characters are escaped as the trace escapes bytes.
    EXPECT_EQ("Slide\\x1B[2J \\x5C \\x7F\\x9B\\x0D \u0141\u00F3d\u017A",
              PrintedText(L"Slide\x1B[2J \\ \x7F\x9B\r \u0141\u00F3d\u017A"));
}

// Read once what waits unread no longer holds any of it; a full read
// buffer's count may hide more.
TEST(PhoneTestPick, ReadOnceNothingOfItWaits)
{
    const struct {
        uint64_t written;
        size_t unread;
        uint64_t pickEnd;
        bool read;
    } cases[] = {
        {100, 0, 100, true},     {100, 1, 100, false},     {100, 0, 101, false},
        {9000, 4094, 4906, true}, {9000, 4095, 4905, false}, {9000, 4095, 10, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.read, AccessoryReadPick(c.written, c.unread, c.pickEnd))
            << c.written << " written, " << c.unread << " unread, the pick to " << c.pickEnd;
}

// A little accessory: each menu's items, and where each item leads.
using Graph = std::map<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>;

std::vector<std::wstring> Items(const Graph& graph, const std::wstring& menu)
{
    std::vector<std::wstring> items;
    for (const auto& item : graph.at(menu))
        items.push_back(item.first);
    return items;
}

TEST(PhoneTestWalk, PicksEveryItemItCanReach)
{
    const Graph twoWayTree = {
        {L"Top", {{L"Next", L"Top"}, {L"Settings", L"Settings"}, {L"Back", L"Top"}}},
        {L"Settings", {{L"Deeper", L"Deep"}, {L"Up", L"Top"}}},
        {L"Deep", {{L"Up", L"Settings"}, {L"Stay", L"Deep"}}},
    };
    const Graph oneWayDoors = {
        {L"Top", {{L"Left", L"Left end"}, {L"Right", L"Right end"}}},
        {L"Left end", {{L"Stay left", L"Left end"}}},
        {L"Right end", {{L"Stay right", L"Right end"}}},
    };
    // The pick of Mute gets no answer: the menu stays.
    const Graph unanswered = {{L"Top", {{L"Mute", L""}, {L"Next", L"Top"}}}};
    // Two menus with the same items are two: the walk picks each one's.
    const Graph twins = {
        {L"Top", {{L"Lamps", L"Lamps"}, {L"Fans", L"Fans"}}},
        {L"Lamps", {{L"On", L"Lamps"}, {L"Off", L"Lamps"}, {L"Back", L"Top"}}},
        {L"Fans", {{L"On", L"Fans"}, {L"Off", L"Fans"}, {L"Back", L"Top"}}},
    };
    const Graph withQuit = {{L"Top", {{L"Quit", L"Top"}, {L"Next", L"Top"}, {L"Power off", L"Top"}}}};
    const struct {
        const char* name;
        const Graph& graph;
        int bound, picks;
        size_t menus, avoided;
        std::vector<std::wstring> unreached;  // each menu's title, then its items
        std::vector<std::wstring> avoid;
    } cases[] = {
        {"a tree with ways back", twoWayTree, 100, 9, 3, 0, {}, {}},
        {"two one-way doors", oneWayDoors, 100, 2, 2, 0, {L"Top", L"Right"}, {}},
        {"a pick not answered", unanswered, 100, 2, 1, 0, {}, {}},
        {"the bound", twoWayTree, 4, 4, 3, 0,
         {L"Top", L"Back", L"Settings", L"Up", L"Deep", L"Stay"}, {}},
        {"twins", twins, 100, 8, 3, 0, {}, {}},
        {"items avoided", withQuit, 100, 1, 1, 2, {}, {L"Qu?t", L"Power*"}},
    };
    for (const auto& c : cases) {
        MenuWalk walk(c.avoid);
        std::wstring menu = L"Top";
        walk.Shown(menu, Items(c.graph, menu));
        for (int item; walk.Picks() < c.bound && (item = walk.NextPick()) >= 0;) {
            walk.Picked(item);
            const std::wstring next = c.graph.at(menu)[item].second;
            menu = next.empty() ? menu : next;
            walk.Shown(menu, Items(c.graph, menu));
        }
        std::vector<std::wstring> unreached;
        for (const UnreachedItems& missed : walk.NotReached()) {
            unreached.push_back(missed.title);
            unreached.insert(unreached.end(), missed.items.begin(), missed.items.end());
        }
        EXPECT_EQ(std::make_tuple(c.picks, c.menus, c.avoided, c.unreached),
                  std::make_tuple(walk.Picks(), walk.MenusMet(), walk.ItemsAvoided(), unreached))
            << c.name;
    }
}

// A title and its items tell menus apart, each from its first digit on
// taken as a value that changes (a count, a time, a level, and what
// follows it, such as a caption).
TEST(PhoneTestWalk, KnowsAMenuByItsTitleAndItems)
{
    const struct {
        std::wstring title;
        std::vector<std::wstring> items;
        size_t menus;  // met once it is shown
    } shown[] = {
        {L"Slide 1/12", {L"Next", L"Back"}, 1},
        {L"Slide 2/12 Caf\u00E9", {L"Next", L"Back"}, 1},
        {L"Slide 1/12", {L"Next", L"Back", L"More"}, 2},
        {L"Lamps", {L"On", L"Off"}, 3},
        {L"Fans", {L"On", L"Off"}, 4},
        {L"Now 12:04", {L"Volume 5", L"Off"}, 5},
        {L"Now 12:05", {L"Volume 6", L"Off"}, 5},
        {L"Now", {L"Volume", L"Off"}, 6},
    };
    MenuWalk walk;
    for (const auto& menu : shown) {
        walk.Shown(menu.title, menu.items);
        EXPECT_EQ(menu.menus, walk.MenusMet()) << Utf8FromWide(menu.title);
    }
}

// A menu that comes without a pick takes the place of the one shown: the
// same menu's new state when their titles agree (a list that fills in, a
// value that changes), a menu of its own otherwise; the one it replaces is
// forgotten when nothing was picked from it; a pick that awaits its answer
// stays with its item. Each row: what the phone shows (a pick's answer, or
// a menu without a pick), picks, and what the walk would pick next, then
// the menus and items met and the items reached.
TEST(PhoneTestWalk, TakesAMenuWithoutAPickForTheOneShown)
{
    struct Step {
        char kind;  // 'S' a pick's answer (or the first menu), 'R' without a pick, 'P' a pick,
                    // 'N' the next pick, `item`
        std::wstring title;
        std::vector<std::wstring> items;
        int item;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        size_t menus, items, reached;
    } rows[] = {
        {"a list that fills in",
         {{'S', L"Devices", {L"Searching"}, 0}, {'R', L"Devices", {L"A", L"B"}, 0}}, 1, 2, 0},
        {"a placeholder, then met again as an answer",
         {{'S', L"Connecting", {L"Wait"}, 0}, {'R', L"Main", {L"X", L"Y"}, 0}, {'P', L"", {}, 0},
          {'S', L"Connecting", {L"Wait"}, 0}}, 2, 3, 1},
        {"a value that changes, the picks kept",
         {{'S', L"Top", {L"Idle", L"Next"}, 0}, {'P', L"", {}, 1}, {'S', L"Top", {L"Idle", L"Next"}, 0},
          {'R', L"Top", {L"Busy", L"Next"}, 0}},
         1, 2, 1},
        {"a menu that went before a pick from it",
         {{'S', L"Top", {L"A", L"B"}, 0}, {'P', L"", {}, 0}, {'S', L"Note", {L"OK"}, 0},
          {'R', L"Top", {L"A", L"B"}, 0}},
         1, 2, 1},
        {"a menu picked from, then replaced",
         {{'S', L"Top", {L"A"}, 0}, {'P', L"", {}, 0}, {'S', L"Sub", {L"C"}, 0}, {'P', L"", {}, 0},
          {'S', L"Sub", {L"C"}, 0}, {'R', L"Top", {L"A"}, 0}},
         2, 2, 2},
        {"a new title replacing a menu picked from",
         {{'S', L"Top", {L"A", L"B"}, 0}, {'P', L"", {}, 0}, {'S', L"Top", {L"A", L"B"}, 0},
          {'R', L"Other", {L"C"}, 0}},
         2, 3, 1},
        {"the first menu met, shown again in place of another",
         {{'S', L"Top", {L"A", L"B"}, 0}, {'P', L"", {}, 0}, {'S', L"Top", {L"A", L"B", L"C"}, 0},
          {'R', L"Top", {L"A", L"B"}, 0}},
         1, 2, 1},
        {"items that differ only in a value", {{'S', L"Top", {L"Ch 1", L"Ch 2", L"More"}, 0},
          {'P', L"", {}, 0}, {'S', L"Top", {L"Ch 1", L"Ch 2", L"More"}, 0},
          {'R', L"Top", {L"Ch 3", L"Ch 4"}, 0}},
         1, 2, 1},
        {"a pick awaiting its answer while its item moves",
         {{'S', L"Top 1", {L"A", L"B"}, 0}, {'P', L"", {}, 1}, {'R', L"Top 2", {L"B", L"A"}, 0},
          {'S', L"Sub", {L"C", L"D"}, 0}, {'P', L"", {}, 0}, {'S', L"Top 3", {L"B", L"A"}, 0},
          {'P', L"", {}, 1}, {'S', L"Top 4", {L"B", L"A"}, 0}, {'N', L"", {}, 0}},
         2, 4, 3},
        {"a pick awaiting its answer while its item goes",
         {{'S', L"Top 1", {L"A", L"B"}, 0}, {'P', L"", {}, 0}, {'S', L"Top 2", {L"A", L"B"}, 0},
          {'P', L"", {}, 1}, {'R', L"Top 3", {L"X", L"A"}, 0}, {'S', L"Sub", {L"C", L"D"}, 0},
          {'P', L"", {}, 0}, {'S', L"Top 4", {L"X", L"A"}, 0}, {'N', L"", {}, 0}, {'P', L"", {}, 0},
          {'S', L"Top 5", {L"X", L"A"}, 0}, {'N', L"", {}, -1}},
         2, 4, 3},
    };
    for (const auto& row : rows) {
        MenuWalk walk;
        for (const Step& step : row.steps) {
            if (step.kind == 'P')
                walk.Picked(step.item);
            else if (step.kind == 'N')
                EXPECT_EQ(step.item, walk.NextPick()) << row.name;
            else if (step.kind == 'S')
                walk.Shown(step.title, step.items);
            else
                walk.Replaced(step.title, step.items);
        }
        EXPECT_EQ(std::make_tuple(row.menus, row.items, row.reached),
                  std::make_tuple(walk.MenusMet(), walk.ItemsMet(), walk.ItemsReached()))
            << row.name;
    }
}

// The set and the list's header carry from line to line as in the program:
// a title that cannot be read leaves the header as it was, an empty entry
// name too; a line the framing passes over gets no answer.
TEST(PhoneTestPhone, KeepsTheSetAndTheHeader)
{
    const struct {
        const char* line;
        LineEnd end;
        std::vector<std::string> answers;
        std::vector<std::wstring> shown;  // an entry's name, or a menu's title and items
    } rows[] = {
        {"AT+CSCS?", LineEnd::kCr, {"+CSCS: \"8859-1\"", "OK"}, {}},
        {"AT*EAM=\"Caf\xE9\"", LineEnd::kCr, {"OK"}, {L"Caf\u00E9"}},
        {"AT*EASM=\"Show,1,1,1", LineEnd::kCr, {"OK"}, {L"Caf\u00E9"}},
        {"AT+CSCS=\"utf-8\"", LineEnd::kCr, {"OK"}, {}},
        {"AT*EASM=\"\u0141\u00F3d\u017A\",1,1,2,\"A\",\"B\",1", LineEnd::kPause, {"OK"},
         {L"\u0141\u00F3d\u017A", L"A", L"B"}},
        {"AT*EAM=\"\"", LineEnd::kCr, {"OK"}, {L""}},
        {"AT*EASM=\"M\",2,1,1,\"A\",1", LineEnd::kCr, {"OK"}, {L"M"}},
        {"\n", LineEnd::kCr, {}, {}},
        {"A\nT", LineEnd::kCr, {"OK"}, {}},
        {"AT*EASM=\"Gone\",1,1,1,\"A\",1", LineEnd::kEnd, {}, {}},
        {"AT+CSCS?", LineEnd::kCr, {"+CSCS: \"UTF-8\"", "OK"}, {}},
    };
    HeadlessPhone phone;
    for (const auto& row : rows) {
        std::vector<Shown> shown;
        EXPECT_EQ(row.answers, phone.Take(row.line, row.end, &shown)) << row.line;
        std::vector<std::wstring> texts;
        for (const Shown& one : shown) {
            texts.push_back(one.kind == Shown::kEntry ? one.entry : one.menu.title);
            texts.insert(texts.end(), one.menu.items.begin(), one.menu.items.end());
        }
        EXPECT_EQ(row.shown, texts) << row.line;
    }
}

}  // namespace
