#include "tools/trace/phone_reading.h"

#include <ctype.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "phone/line_text.h"
#include "phone/submenu_line.h"
#include "link/line_framing.h"
#include "link/menu_protocol.h"

namespace {

// Room to widen any line whole: a line holds at most 2047 bytes, and no
// byte widens to more than one unit.
constexpr size_t kWholeLine = kMaxProtocolLine + 1;
constexpr size_t kTextKept = kSubmenuTextSize - 1;
constexpr size_t kLineKept = kMenuLineSize - 1;
// A command not acted on is named by its first bytes, up to its = or ?.
constexpr size_t kCommandNameLength = 16;

// In the order of FindingKind.
const char* const kSummaryLabels[] = {
    "lines cut by a pause",
    "lines ended by LF alone",
    "lines over 2047 bytes",
    "lines cut by the device going",
    "lines with LF or NUL bytes inside",
    "submenus whose count differs from their items",
    "selections outside the items shown",
    "submenus whose number after the title is not 1",
    "submenus whose numbers cannot be read",
    "titles or items over 63 characters",
    "titles or items without their closing quote",
    "submenu lines longer than the phone keeps",
    "entry names without their closing quote",
    "entry names with text after their quote",
    "entry names longer than the phone keeps",
    "lines with bytes that are no character of the set",
    "lines with UTF-8 text and no set declared",
    "declarations of a set the phone does not support",
    "commands the phone answers but does not act on",
};
static_assert(sizeof kSummaryLabels / sizeof *kSummaryLabels == kFindingKinds,
              "a summary label for every kind");

// The set's name as the phone's answer to AT+CSCS? gives it, quoted.
std::string SetName(CharacterSet set)
{
    return strchr(SetInUseAnswer(set), '"');
}

// What the list shows of a stored submenu line, as the program fills it.
class ShownSubmenu : public SubmenuShower {
public:
    int items = -1;  // -1: it cannot read the title, and the list stays empty
    // It is asked to select an item it does not show, among some it does: a
    // list of no item has nothing to select.
    bool selectsNone = false;
    void ShowTitle(const wchar_t*) override { items = 0; }
    void AddItem(const wchar_t*) override { ++items; }
    void SelectItem(int index) override
    {
        selectsNone = items > 0 && (index < 0 || index >= items);
    }
};

// The texts the phone shows, each as far as it shows it, against the same
// bytes read as UTF-8.
struct ShownTexts {
    size_t unreadable = 0;       // pieces shown as U+FFFD
    bool differsAsUtf8 = false;  // read as UTF-8, one would show as valid text, and otherwise

    // `length` bytes of text in `set`, of which the phone shows `room` units.
    void Add(CharacterSet set, const char* text, size_t length, size_t room)
    {
        std::vector<wchar_t> inSet(room + 1), asUtf8(room + 1);
        size_t unreadableInSet = 0, unreadableAsUtf8 = 0;
        WidenText(set, text, length, inSet.data(), inSet.size(), &unreadableInSet);
        WidenText(kUtf8, text, length, asUtf8.data(), asUtf8.size(), &unreadableAsUtf8);
        unreadable += unreadableInSet;
        differsAsUtf8 |= unreadableAsUtf8 == 0 && wcscmp(inSet.data(), asUtf8.data()) != 0;
    }
};

// The bytes of a line's complete quoted texts, in order: a submenu's title,
// then its items, as the widened line holds them.
std::vector<std::string> QuotedTexts(const char* line)
{
    std::vector<std::string> texts;
    for (const char* open = strchr(line, '"'); open != nullptr; open = strchr(open + 1, '"')) {
        const char* close = strchr(open + 1, '"');
        if (close == nullptr)
            break;
        texts.emplace_back(open + 1, close);
        open = close;
    }
    return texts;
}

// Only bytes the phone drops: it keeps none of them.
bool OnlyDropped(const std::string& raw)
{
    return raw.find_first_not_of(std::string("\n\0", 2)) == std::string::npos;
}

std::string Shows(int shown)
{
    if (shown < 0)
        return "shows an empty list";
    return shown == 0 ? "shows no item" : "shows " + std::to_string(shown);
}

std::string Dropped(size_t lfs, size_t nuls)
{
    std::string bytes;
    if (lfs != 0)
        bytes = std::to_string(lfs) + " LF";
    if (lfs != 0 && nuls != 0)
        bytes += " and ";
    if (nuls != 0)
        bytes += std::to_string(nuls) + " NUL";
    return bytes + (lfs + nuls == 1 ? " byte" : " bytes") +
           " in the line: the phone drops them (it ends lines at CR only)";
}

}  // namespace

// A line that filled the phone's buffer was over it if a byte the phone
// keeps comes next, and is read once the next line shows which.
std::vector<Finding> PhoneReading::Read(const std::string& raw, LineEnd end)
{
    m_found.clear();
    if (!m_full.empty()) {
        if (OnlyDropped(raw)) {
            ReadHeld(raw, end);
            return m_found;
        }
        std::string full;
        full.swap(m_full);
        ReadLine(full, LineEnd::kFull);
        About(0, full, LineEnd::kFull);
    }
    const size_t firstFound = m_found.size();
    if (end == LineEnd::kFull)
        m_full = raw;
    else
        ReadLine(raw, end);
    About(firstFound, raw, end);
    return m_found;
}

// The phone took the held line as it filled its buffer, and nothing it
// keeps came after: that was the whole line, ended by its CR (the phone
// passes over the empty line the CR ends), by LF alone when an LF came last
// and no CR, or by nothing more coming.
void PhoneReading::ReadHeld(const std::string& after, LineEnd end)
{
    std::string full;
    full.swap(m_full);
    const bool endedByLf = end != LineEnd::kCr && !after.empty() && after.back() == '\n';
    ReadLine(full + after, endedByLf ? LineEnd::kPause : LineEnd::kCr);
    About(0, full, LineEnd::kFull);
}

std::vector<Finding> PhoneReading::End()
{
    m_found.clear();
    if (!m_full.empty())
        ReadHeld("", LineEnd::kEnd);
    return m_found;
}

void PhoneReading::About(size_t firstFound, const std::string& raw, LineEnd end)
{
    for (size_t found = firstFound; found < m_found.size(); ++found) {
        m_found[found].line = raw;
        m_found[found].end = end;
    }
}

void PhoneReading::ReadLine(const std::string& raw, LineEnd end)
{
    // The phone takes no line at the end, nor of the bytes it dropped, with
    // no line to hold them, as the device went.
    if (end == LineEnd::kEnd || (end == LineEnd::kGone && OnlyDropped(raw)))
        return;
    const bool endedByLf = end == LineEnd::kPause && !raw.empty() && raw.back() == '\n';
    ReadFraming(raw, end, endedByLf);
    std::string line = raw;  // as the phone keeps it
    line.resize(CleanBatch(&line[0], line.size()));
    const bool continues = m_continues;
    const bool cut = (end == LineEnd::kPause && !endedByLf) || end == LineEnd::kFull ||
                     end == LineEnd::kGone;
    m_afterCr = end == LineEnd::kCr;
    m_continues = cut && end != LineEnd::kGone;
    if (line.empty())
        return;  // the phone passes over an empty line
    CharacterSet declared = m_set;
    const LineKind kind = ReadLineKind(line.c_str(), &declared);
    if (kind == kSetDeclaration) {
        m_set = declared;
        m_declared = true;
    }
    // What the phone makes of a part of a line says nothing of the line
    // meant: the cut is the finding.
    if (cut)
        return;
    switch (kind) {
    case kSetDeclaration: break;
    case kUnsupportedSetLine:
        Add(kUnsupportedSet, "declares a character set the phone does not support: it keeps " +
                                 SetName(m_set));
        break;
    case kEntryLine: ReadEntry(line.c_str()); break;
    case kSubmenuLine: ReadSubmenu(line.c_str()); break;
    case kOtherLine: ReadOther(line, continues); break;
    case kSetInUseQuestion:
    case kSetsSupportedQuestion: break;
    }
}

// Nothing follows a line still held: the phone had taken it before the
// device went, or the program left, and the accessory's CR never came.
std::vector<Finding> PhoneReading::DeviceWent()
{
    const std::vector<Finding> found = End();
    m_afterCr = false;
    m_continues = false;
    m_reported.clear();
    return found;
}

std::vector<Finding> PhoneReading::ProgramLeft()
{
    const std::vector<Finding> found = DeviceWent();
    m_set = kLatin1;
    m_declared = false;
    return found;
}

std::vector<std::string> PhoneReading::Summary() const
{
    std::vector<std::string> lines;
    for (int kind = 0; kind < kFindingKinds; ++kind) {
        if (m_counts[kind] != 0)
            lines.push_back(kSummaryLabels[kind] + (": " + std::to_string(m_counts[kind])));
    }
    if (lines.empty())
        lines.push_back("no findings");
    return lines;
}

// An LF right after the CR of the line before is a CR LF line end, which
// the phone drops as it should.
void PhoneReading::ReadFraming(const std::string& raw, LineEnd end, bool endedByLf)
{
    size_t lfs = std::count(raw.begin(), raw.end(), '\n');
    const size_t nuls = std::count(raw.begin(), raw.end(), '\0');
    const bool filled = raw.size() - lfs - nuls == kMaxProtocolLine;
    if (m_afterCr && !raw.empty() && raw[0] == '\n')
        --lfs;
    if (endedByLf && lfs != 0)
        --lfs;
    switch (end) {
    case LineEnd::kPause:
        if (endedByLf && filled)
            Add(kEndedByLf, "line ended by LF alone: the phone took it only as it filled its "
                            "2047 bytes (it ends lines at CR; a shorter line waits for a 200 ms "
                            "pause)");
        else if (endedByLf)
            Add(kEndedByLf, "line ended by LF alone: the phone took it only after a 200 ms pause "
                            "(it ends lines at CR)");
        else
            Add(kCutByPause, "a pause of more than 200 ms inside the line: the phone took the "
                             "part before it as a line of its own");
        break;
    case LineEnd::kFull:
        Add(kOverBuffer, "line over 2047 bytes: the phone took its first 2047 as a line of its "
                         "own, and the rest as another");
        break;
    case LineEnd::kGone:
        Add(kCutByDevice, "the device went inside the line: the phone took the part before as "
                          "a line of its own");
        break;
    case LineEnd::kCr:
    case LineEnd::kEnd: break;
    }
    if (lfs + nuls != 0)
        Add(kBytesDropped, Dropped(lfs, nuls));
}

void PhoneReading::ReadEntry(const char* line)
{
    const char* name = line + strlen(kEntryPrefix);
    const size_t length = EntryNameLength(name);
    if (name[length] == '\0')
        Add(kNameUnclosed, "entry name has no closing quote: the phone takes the rest of the "
                           "line as the name");
    else if (name[length + 1] != '\0')
        Add(kAfterName, "text after the entry name's closing quote: the phone ignores `" +
                            std::string(name + length + 1) + "`");
    std::vector<wchar_t> whole(kWholeLine);
    WidenText(m_set, name, length, whole.data(), whole.size());
    const size_t units = wcslen(whole.data());
    if (units > kLineKept)
        Add(kNameCut, "entry name is " + std::to_string(units) +
                          " characters: the phone keeps its first " + std::to_string(kLineKept));
    ShownTexts shown;
    shown.Add(m_set, name, length, kLineKept);
    ReadTexts(shown.unreadable, shown.differsAsUtf8);
}

// The line whole says what the accessory meant; the line as the program
// keeps it, what the list shows of it.
void PhoneReading::ReadSubmenu(const char* line)
{
    std::vector<wchar_t> whole(kWholeLine);
    wchar_t kept[kMenuLineSize];
    WidenCommandLine(m_set, line, whole.data(), whole.size());
    WidenCommandLine(m_set, line, kept, kMenuLineSize);
    ShownSubmenu shown;
    ShowSubmenuLine(kept, shown);
    const std::vector<std::string> quoted = QuotedTexts(line);
    ShownTexts texts;
    for (int shownText = 0; shownText <= shown.items; ++shownText)  // the title, then the items
        texts.Add(m_set, quoted[shownText].data(), quoted[shownText].size(), kTextKept);
    ReadTexts(texts.unreadable, texts.differsAsUtf8);

    wchar_t text[kSubmenuTextSize];
    size_t length = 0;
    const wchar_t* afterTitle = ReadSubmenuTitle(whole.data(), text, &length);
    if (afterTitle == nullptr) {
        Add(kTextUnclosed, "title has no closing quote: the phone shows an empty list");
        return;
    }
    if (shown.items >= 0 && length > kTextKept)
        Add(kTextCut, "title is " + std::to_string(length) +
                          " characters: the phone shows its first " + std::to_string(kTextKept));
    int selection = 0, count = 0, first = 1;
    if (!ReadSubmenuNumbers(afterTitle, &selection, &count, &first)) {
        if (first != 1)
            Add(kFirstNotOne, "the number after the title is " + std::to_string(first) +
                                  ", not 1: the phone shows an empty list");
        else
            Add(kNumbersUnreadable, "the numbers after the title cannot be read: the phone "
                                    "shows an empty list");
        return;
    }
    int closed = 0;
    const wchar_t* scan = afterTitle;
    while (ReadSubmenuItem(&scan, text, &length)) {
        ++closed;
        if (closed <= shown.items && length > kTextKept)
            Add(kTextCut, "item " + std::to_string(closed) + " is " + std::to_string(length) +
                              " characters: the phone shows its first " +
                              std::to_string(kTextKept));
    }
    const bool unclosed = wcschr(scan, L'"') != nullptr;
    if (unclosed)
        Add(kTextUnclosed, "item " + std::to_string(closed + 1) +
                               " has no closing quote: the phone leaves it out");
    const int given = closed + unclosed;
    if (count != given)
        Add(kCountDiffers, "submenu declares " + std::to_string(count) + " items and gives " +
                               std::to_string(given) + ": the phone " + Shows(shown.items));
    if (shown.selectsNone)
        Add(kSelectionOutside, "selection " + std::to_string(selection) +
                                   " is outside the items the phone shows (1.." +
                                   std::to_string(shown.items) + "): it selects no item");
    // Only a line longer than the program keeps can show fewer.
    if (shown.items < std::min(count, closed))
        Add(kLineCut, "submenu line is " + std::to_string(wcslen(whole.data())) +
                          " characters: the phone keeps " + std::to_string(kLineKept) + " and " +
                          (shown.items < 0 ? Shows(shown.items)
                                           : Shows(shown.items) + " of its " +
                                                 std::to_string(closed) + " items"));
}

void PhoneReading::ReadOther(const std::string& line, bool continues)
{
    if (continues) {
        Add(kNotActedOn, "the rest of the line cut before: the phone answers it OK as a line of "
                         "its own and does nothing");
        return;
    }
    if (line.size() == 2 && toupper(line[0]) == 'A' && toupper(line[1]) == 'T')
        return;  // its whole answer is the OK
    const std::string name =
        line.substr(0, std::min(line.find_first_of("=?"), kCommandNameLength));
    if (m_reported.insert(name).second)
        Add(kNotActedOn, name + ": the phone answers OK and does nothing (told once a session)");
}

// Of the texts the phone shows: `differsAsUtf8`, read as valid UTF-8, they
// would show otherwise than the phone shows them.
void PhoneReading::ReadTexts(size_t unreadable, bool differsAsUtf8)
{
    if (unreadable != 0)
        Add(kUnreadableText, "text holds " + std::to_string(unreadable) +
                                 (unreadable == 1 ? " piece that is no " : " pieces that are no ") +
                                 SetName(m_set) + " character: the phone shows U+FFFD for each");
    if (!m_declared && differsAsUtf8)
        Add(kUndeclaredUtf8, "text reads as UTF-8, but no character set was declared: the phone "
                             "shows it as 8859-1; declare AT+CSCS=\"UTF-8\"");
}

void PhoneReading::Add(FindingKind kind, const std::string& text)
{
    ++m_counts[kind];
    m_found.push_back({kind, text, {}, LineEnd::kCr});
}
