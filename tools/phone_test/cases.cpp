#include "tools/phone_test/cases.h"

#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>

#include "tools/phone_test/menu_walk.h"
#include "tools/phone_test/shown_text.h"
#include "tools/trace/clock_and_signals.h"

namespace {

constexpr uint64_t kAwayMs = 2000;        // the drop of the automatic case
constexpr uint64_t kLateAnswerMs = 3000;  // waited for a pick's answer after its reply time
// The walk's first pick comes once no menu has come for this long (or the
// start's window after the first menu), as a person's would: an accessory
// may show a placeholder first, or fill in its menu.
constexpr uint64_t kSettledMs = 500;
constexpr int kProgressEvery = 10;        // picks, when no one watches the line change
constexpr int kMostLinesShown = 10;       // of the lines with findings

std::string Quoted(const std::wstring& text)
{
    return "\"" + PrintedText(text) + "\"";
}

std::string QuotedList(const std::vector<std::wstring>& texts)
{
    std::string list;
    for (const std::wstring& text : texts)
        list += (list.empty() ? "" : ", ") + Quoted(text);
    return list.empty() ? "no item" : list;
}

std::string Seconds(uint64_t ms)
{
    if (ms < 1000)
        return std::to_string(ms) + " ms";
    char text[32];
    snprintf(text, sizeof text, "%.2f s", static_cast<double>(ms) / 1000);
    return text;
}

// On a terminal of its own the line is rewritten in place; in a log, a
// line now and then.
void Progress(const RunSettings& settings, const MenuWalk& walk, bool last)
{
    if (!last && !settings.rewrites && walk.Picks() % kProgressEvery != 0)
        return;
    fprintf(settings.out, "%swalk: %d picks, %zu menus met, %zu of %zu items reached%s",
            settings.rewrites ? "\r" : "", walk.Picks(), walk.MenusMet(), walk.ItemsReached(),
            walk.ItemsMet(), last || !settings.rewrites ? "\n" : "");
    fflush(settings.out);
}

// Whether the walk has nothing it may pick in `menu`: no item, or every
// item avoided (--avoid).
bool NothingToPick(const ShownMenu& menu, const std::vector<std::wstring>& avoided)
{
    return std::all_of(menu.items.begin(), menu.items.end(),
                       [&](const std::wstring& item) { return MatchesAnyPattern(avoided, item); });
}

bool Matches(const ScriptStep& step, const ShownMenu& menu)
{
    if (step.kind == StepKind::kExpectMenu)
        return MatchesPattern(step.texts[0], menu.title);
    if (menu.items.size() != step.texts.size())
        return false;
    for (size_t i = 0; i < menu.items.size(); ++i) {
        if (!MatchesPattern(step.texts[i], menu.items[i]))
            return false;
    }
    return true;
}

}  // namespace

Cases::Cases(PhoneSession& session, Verdicts& verdicts, const RunSettings& settings)
    : m_session(session), m_verdicts(verdicts), m_settings(settings)
{
}

// The start's window, from the accessory's own open; while a wrapper that
// opened the line first has closed it and the accessory has not opened it
// yet, the wait for the program's open.
uint64_t Cases::StartDeadline() const
{
    return m_session.AwaitsReopen() ? m_settings.openingMs
                                    : m_session.WindowStart() + m_settings.startMs;
}

void Cases::NeverOpened(const std::string& why)
{
    m_over = "the accessory never opened its end of the line";
    m_firstFails = why;
}

void Cases::RunAutomatic()
{
    Opening();
    Walk();
    DropAndReturn();
}

void Cases::Opening()
{
    Verdict registers("registers"), menu("shows a menu");
    bool entrySeen = false, menuSeen = false;
    uint64_t firstMenu = 0, menuShown = 0;
    Wait waited = Wait::kArrived;
    const auto take = [&](const Shown& shown) {
        // When the menu shown came; the same sent again does not count.
        const bool again = ShownAgain(shown);
        m_resendsUnasked |= again;
        Apply(shown, m_screen);
        const std::string after =
            Seconds(m_session.Now() - m_session.WindowStart()) + " after the line opened";
        if (shown.kind == Shown::kEntry && !entrySeen)
            registers.reason = Quoted(shown.entry) + ", " + after;
        if (shown.kind == Shown::kMenu && !menuSeen)
            firstMenu = m_session.Now();
        if (shown.kind == Shown::kMenu && !again)
            menuShown = m_session.Now();
        entrySeen |= shown.kind == Shown::kEntry;
        menuSeen |= shown.kind == Shown::kMenu;
    };
    while (!(entrySeen && menuSeen)) {
        Shown shown;
        waited = m_session.Next([this] { return StartDeadline(); }, &shown);
        if (waited != Wait::kArrived)
            break;
        take(shown);
    }
    // Settled: what the phone shows once nothing new has come for a while.
    for (uint64_t last = m_session.Now(); waited == Wait::kArrived;) {
        Shown shown;
        waited = m_session.Next(std::min(last + kSettledMs, firstMenu + m_settings.startMs), &shown);
        if (waited == Wait::kArrived)
            take(shown);
        last = m_session.Now();
    }
    const Wait settled = waited == Wait::kTimeout && menuSeen ? Wait::kArrived : waited;
    if (entrySeen)
        Add(registers, m_session.WindowStart());
    else
        Missed(registers, m_session.WindowStart(), waited,
               "no AT*EAM within " + std::to_string(m_settings.startMs) + " ms of the line opening");
    const ShownMenu& shown = m_screen.menu;
    const std::string when = Seconds(menuShown - m_session.WindowStart()) +
                             " after the line opened; settled after " +
                             Seconds(m_session.Now() - m_session.WindowStart());
    if (settled == Wait::kArrived && NothingToPick(shown, m_settings.avoid)) {
        menu.outcome = Outcome::kFail;
        menu.reason = (shown.items.empty() ? Quoted(shown.title) + " has no item to pick"
                                           : "every item of " + Quoted(shown.title) +
                                                 " is avoided (--avoid)") +
                      ", " + when;
    } else if (settled == Wait::kArrived) {
        menu.reason = Quoted(shown.title) + " with " + QuotedList(shown.items) + ", " + when;
    }
    if (settled == Wait::kArrived)
        Add(menu, m_session.WindowStart());
    else
        Missed(menu, m_session.WindowStart(), waited,
               "no AT*EASM within " + std::to_string(m_settings.startMs) +
                   " ms of the line opening");
}

void Cases::Walk()
{
    Verdict answers("answers every pick"), reached("every item reached");
    const uint64_t since = m_session.Now();
    if (!m_over.empty()) {
        SkippedAsOver(answers);
        SkippedAsOver(reached);
        return;
    }
    if (!m_screen.hasMenu || NothingToPick(m_screen.menu, m_settings.avoid)) {
        for (Verdict* verdict : {&answers, &reached}) {
            verdict->outcome = Outcome::kSkip;
            verdict->reason = !m_screen.hasMenu              ? "no menu was shown to pick from"
                              : m_screen.menu.items.empty() ? "the menu shown has no item to pick"
                                                            : "every item shown is avoided";
            Add(*verdict, since);
        }
        return;
    }
    MenuWalk walk(m_settings.avoid);
    std::vector<std::string> unanswered;
    uint64_t slowest = 0;
    const Wait waited = WalkMenus(walk, &unanswered, &slowest);
    if (waited != Wait::kTimeout) {
        Missed(answers, since, waited, "");
        SkippedAsOver(reached);
        return;
    }
    m_lastPick.clear();
    const std::string picks = std::to_string(walk.Picks()) + " picks";
    answers.reason = picks + ", each answered with a menu within " + Seconds(slowest);
    if (!unanswered.empty()) {
        answers.outcome = Outcome::kFail;
        answers.reason = std::to_string(unanswered.size()) + " of " + picks +
                         " got no menu within " + std::to_string(m_settings.replyMs) + " ms";
        answers.details = unanswered;
    }
    const std::string avoided =
        walk.ItemsAvoided() == 0 ? "" : " (" + std::to_string(walk.ItemsAvoided()) + " avoided)";
    reached.reason = std::to_string(walk.ItemsMet()) + " items of " +
                     std::to_string(walk.MenusMet()) + " menus, each picked" + avoided + ", in " +
                     picks;
    if (walk.ItemsReached() != walk.ItemsMet()) {
        reached.outcome = Outcome::kFail;
        reached.reason = std::to_string(walk.ItemsMet() - walk.ItemsReached()) + " of " +
                         std::to_string(walk.ItemsMet()) + " items never reached in " + picks +
                         (walk.Picks() >= m_settings.picks ? ", the most the walk makes (--picks)"
                                                           : ": no pick led back to them");
        for (const UnreachedItems& menu : walk.NotReached())
            reached.details.push_back("menu " + Quoted(menu.title) + ": " + QuotedList(menu.items));
    }
    Add(answers, since);
    Add(reached, since);
}

// Each pick from the menu the phone shows once what came meanwhile is
// taken, as a person picks; its answer is the next menu the accessory sent
// after it read the pick. Any other menu takes the place of the one shown.
// kTimeout once the walk is over; kEnded or kStopped when the run is.
Wait Cases::WalkMenus(MenuWalk& walk, std::vector<std::string>* unanswered, uint64_t* slowest)
{
    walk.Shown(m_screen.menu.title, m_screen.menu.items);
    for (;;) {
        Shown shown;
        Wait waited;
        while ((waited = m_session.Next(m_session.Now(), &shown)) == Wait::kArrived) {
            m_resendsUnasked |= ShownAgain(shown);
            Apply(shown, m_screen);
            if (shown.kind == Shown::kMenu)
                walk.Replaced(shown.menu.title, shown.menu.items);
        }
        const int item = walk.Picks() < m_settings.picks ? walk.NextPick() : -1;
        if (waited != Wait::kTimeout || item < 0) {
            Progress(m_settings, walk, true);
            return waited;
        }
        m_lastPickItem = m_screen.menu.items[item];
        m_lastPick = "pick " + std::to_string(walk.Picks() + 1) + ", " + Quoted(m_lastPickItem) +
                     " in " + Quoted(m_screen.menu.title);
        m_session.Pick(item);
        walk.Picked(item);
        const uint64_t picked = m_session.Now();
        waited = AwaitAnswer(walk, picked + m_settings.replyMs);
        if (waited == Wait::kArrived) {
            *slowest = std::max(*slowest, m_session.Now() - picked);
        } else if (waited == Wait::kTimeout) {
            unanswered->push_back(m_lastPick);
            // An answer that comes late would be taken for the next pick's,
            // and the walk would learn a wrong way through the menus.
            waited = AwaitAnswer(walk, picked + m_settings.replyMs + kLateAnswerMs);
        }
        if (waited != Wait::kArrived && waited != Wait::kTimeout)
            return waited;
        walk.Shown(m_screen.menu.title, m_screen.menu.items);
        Progress(m_settings, walk, false);
    }
}

// The lines that come until the pick's answer does, or until `deadline`.
// From an accessory that sends its menu again unasked, the same menu
// unchanged is no answer: it cannot be told from a pick dropped.
Wait Cases::AwaitAnswer(MenuWalk& walk, uint64_t deadline)
{
    Shown shown;
    Wait waited;
    while ((waited = m_session.Next(deadline, &shown)) == Wait::kArrived) {
        const bool again = ShownAgain(shown);
        m_resendsUnasked |= again && shown.beforePickRead;
        Apply(shown, m_screen);
        if (shown.kind == Shown::kMenu && !shown.beforePickRead && !(again && m_resendsUnasked))
            break;
        if (shown.kind == Shown::kMenu)
            walk.Replaced(shown.menu.title, shown.menu.items);
    }
    return waited;
}

void Cases::DropAndReturn()
{
    Verdict verdict("comes back after a drop");
    const uint64_t since = m_session.Now();
    if (SkippedAsOver(verdict))
        return;
    if (!m_settings.ownsLine) {
        verdict.outcome = Outcome::kSkip;
        verdict.reason = "the phone-test cannot take the line of " + m_settings.line +
                         " away; with --run it owns the line";
        Add(verdict, since);
        return;
    }
    m_session.Drop();
    m_screen = {};
    Wait waited = m_session.Idle(m_session.Now() + kAwayMs);
    if (waited == Wait::kTimeout && !m_session.Return()) {
        m_over = "the line could not be made again";
        verdict.outcome = Outcome::kFail;
        verdict.reason = m_over;
        Add(verdict, since);
        return;
    }
    const uint64_t returned = m_session.Now();
    std::string entryAfter, menuAfter;
    while (waited == Wait::kTimeout && (entryAfter.empty() || menuAfter.empty())) {
        Shown shown;
        const Wait next = m_session.Next(returned + m_settings.returnMs, &shown);
        if (next != Wait::kArrived) {
            waited = next;
            break;
        }
        Apply(shown, m_screen);
        const std::string after = Seconds(m_session.Now() - returned);
        if (shown.kind == Shown::kEntry && entryAfter.empty())
            entryAfter = "registered again after " + after;
        if (shown.kind == Shown::kMenu && menuAfter.empty())
            menuAfter = "showed " + Quoted(shown.menu.title) + " after " + after;
    }
    if (waited != Wait::kTimeout) {
        Missed(verdict, since, waited, "");
        return;
    }
    verdict.reason = "the line returned from 2 s away: ";
    const std::string within = " within " + std::to_string(m_settings.returnMs) + " ms";
    if (!entryAfter.empty() && !menuAfter.empty()) {
        verdict.reason += entryAfter + " and " + menuAfter;
    } else {
        verdict.outcome = Outcome::kFail;
        if (entryAfter.empty() && menuAfter.empty())
            verdict.reason += "no AT*EAM and no AT*EASM" + within;
        else if (entryAfter.empty())
            verdict.reason += "no AT*EAM" + within + "; it " + menuAfter;
        else
            verdict.reason += "no AT*EASM" + within + "; it " + entryAfter;
    }
    Add(verdict, since);
}

void Cases::RunScript(const std::vector<ScriptStep>& steps)
{
    Screen screen;
    // Until the first pick once the line has opened or returned, an expect
    // waits at least until the start's or the return's window ends: the
    // accessory is still starting.
    bool opening = true;
    uint64_t settled = 0;  // after a drop
    bool failed = false;
    std::vector<std::string> named;
    for (const ScriptStep& step : steps) {
        // Named by its text, and where the same step came before, by how
        // many times it has come.
        named.push_back(step.text);
        const long times = std::count(named.begin(), named.end(), step.text);
        Verdict verdict(step.text + (times == 1 ? "" : " (" + std::to_string(times) + ")"));
        const uint64_t since = m_session.Now();
        if (SkippedAsOver(verdict))
            continue;
        if (failed) {
            verdict.outcome = Outcome::kSkip;
            verdict.reason = "an earlier step failed";
            Add(verdict, since);
            continue;
        }
        Wait waited = Wait::kArrived;
        switch (step.kind) {
        case StepKind::kExpectEntry:
        case StepKind::kExpectMenu:
        case StepKind::kExpectItems:
            waited = Expect(step, screen,
                            [&] {
                                return std::max(since + m_settings.replyMs,
                                                opening ? StartDeadline() : settled);
                            },
                            &verdict);
            break;
        case StepKind::kPick:
            waited = PickStep(step, screen, &verdict);
            opening = false;
            settled = 0;
            break;
        case StepKind::kDrop:
            m_session.Drop();
            screen = {};
            waited = m_session.Idle(since + step.ms);
            if (waited == Wait::kTimeout && !m_session.Return()) {
                m_over = "the line could not be made again";
                verdict.reason = m_over;
                break;
            }
            opening = false;
            settled = m_session.Now() + m_settings.returnMs;
            verdict.reason = "the line was away for " + Seconds(step.ms);
            waited = waited == Wait::kTimeout ? Wait::kArrived : waited;
            break;
        case StepKind::kWait:
            waited = m_session.Idle(since + step.ms);
            verdict.reason = "waited " + Seconds(step.ms);
            waited = waited == Wait::kTimeout ? Wait::kArrived : waited;
            break;
        }
        if (waited == Wait::kArrived || waited == Wait::kTimeout) {
            verdict.outcome =
                waited == Wait::kArrived && m_over.empty() ? Outcome::kPass : Outcome::kFail;
            failed = verdict.outcome == Outcome::kFail;
            Add(verdict, since);
        } else {
            Missed(verdict, since, waited, "");
        }
    }
}

// kArrived once the phone shows what the step expects, what it already
// showed included; kTimeout, with what it shows instead, at `until`.
Wait Cases::Expect(const ScriptStep& step, Screen& screen, const std::function<uint64_t()>& until,
                   Verdict* verdict)
{
    const uint64_t since = m_session.Now();
    for (;;) {
        const bool entry = step.kind == StepKind::kExpectEntry;
        if (entry ? screen.hasEntry && MatchesPattern(step.texts[0], screen.entry)
                  : screen.hasMenu && Matches(step, screen.menu)) {
            verdict->reason = "shown after " + Seconds(m_session.Now() - since);
            return Wait::kArrived;
        }
        Shown shown;
        const Wait waited = m_session.Next(until, &shown);
        if (waited == Wait::kArrived) {
            Apply(shown, screen);
            continue;
        }
        std::string instead = "no menu came";
        if (entry)
            instead = screen.hasEntry ? "the entry is " + Quoted(screen.entry) : "no entry came";
        else if (screen.hasMenu && step.kind == StepKind::kExpectMenu)
            instead = "the menu shown is " + Quoted(screen.menu.title);
        else if (screen.hasMenu)
            instead = "the menu shown has " + QuotedList(screen.menu.items);
        verdict->reason = "not shown within " + Seconds(until() - since) + ": " + instead;
        return waited;
    }
}

// From the menu shown once what came meanwhile is taken; its answer is for
// the next expect to wait for.
Wait Cases::PickStep(const ScriptStep& step, Screen& screen, Verdict* verdict)
{
    const Wait waited = TakeQueued(screen);
    if (waited != Wait::kTimeout)
        return waited;
    if (!screen.hasMenu) {
        verdict->reason = "no menu is shown to pick from";
        return Wait::kTimeout;
    }
    const std::vector<std::wstring>& items = screen.menu.items;
    int item = step.item - 1;
    if (step.item == 0) {
        item = static_cast<int>(std::find_if(items.begin(), items.end(),
                                             [&](const std::wstring& text) {
                                                 return MatchesPattern(step.texts[0], text);
                                             }) -
                                items.begin());
    }
    if (item >= static_cast<int>(items.size())) {
        verdict->reason =
            "the menu shown, " + Quoted(screen.menu.title) + ", has " + QuotedList(items);
        return Wait::kTimeout;
    }
    m_session.Pick(item);
    screen.hasMenu = false;
    verdict->reason = "picked " + Quoted(items[item]) + " in " + Quoted(screen.menu.title);
    return Wait::kArrived;
}

// lines read as sent
void Cases::JudgeLines()
{
    Verdict verdict("lines read as sent");
    const uint64_t since = m_session.Now();
    const int lines = m_session.LinesTaken();
    if (lines == 0) {
        verdict.outcome = Outcome::kSkip;
        verdict.reason = "no line came from the accessory";
        Add(verdict, since);
        return;
    }
    int findings = 0, linesFound = 0, lastLine = -1;
    for (const LineFinding& found : m_session.Findings()) {
        if (found.finding.kind == kNotActedOn) {
            verdict.notes.push_back(found.finding.text);
            continue;
        }
        ++findings;
        if (found.number != lastLine) {
            lastLine = found.number;
            if (++linesFound <= kMostLinesShown)
                verdict.details.push_back(found.line);
        }
        if (linesFound <= kMostLinesShown)
            verdict.details.push_back(TraceText({found.ms, "finding", found.finding.text}));
    }
    if (linesFound > kMostLinesShown)
        verdict.details.push_back("and " + std::to_string(linesFound - kMostLinesShown) +
                                  " more lines with findings: see the trace (--trace)");
    if (findings == 0) {
        verdict.reason = std::to_string(lines) + " lines, each read as it was sent";
    } else {
        verdict.outcome = Outcome::kFail;
        verdict.reason = std::to_string(findings) + " findings on " + std::to_string(linesFound) +
                         " of " + std::to_string(lines) + " lines";
    }
    Add(verdict, since);
}

void Cases::Apply(const Shown& shown, Screen& screen) const
{
    if (shown.kind == Shown::kEntry) {
        screen.hasEntry = true;
        screen.entry = shown.entry;
    } else {
        screen.hasMenu = true;
        screen.menu = shown.menu;
    }
}

// The menu shown, sent again unchanged.
bool Cases::ShownAgain(const Shown& shown) const
{
    return shown.kind == Shown::kMenu && m_screen.hasMenu &&
           shown.menu.title == m_screen.menu.title && shown.menu.items == m_screen.menu.items;
}

Wait Cases::TakeQueued(Screen& screen)
{
    Shown shown;
    Wait waited;
    while ((waited = m_session.Next(m_session.Now(), &shown)) == Wait::kArrived)
        Apply(shown, screen);
    return waited;
}

void Cases::Missed(Verdict verdict, uint64_t since, Wait waited, const std::string& timedOut)
{
    if (SkippedAsOver(verdict))
        return;
    if (waited == Wait::kEnded) {
        struct stat log = {};
        const bool wrote = stat(m_settings.output.c_str(), &log) == 0 && log.st_size != 0;
        std::string avoid;  // quoted for sh
        for (const char c : PrintedText(m_lastPickItem))
            avoid += c == '\'' ? std::string("'\\''") : std::string(1, c);
        verdict.outcome = Outcome::kFail;
        verdict.reason =
            "the accessory's program ended (" + EndedHow(*m_settings.program) + ")" +
            (m_lastPick.empty() ? "" : " after " + m_lastPick +
                                           ": if that item ends it, keep the walk from it with "
                                           "--avoid '" + avoid + "'") +
            (wrote ? "; its output is in " + m_settings.output : "; it wrote nothing");
        m_over = "the accessory's program has ended";
    } else if (waited == Wait::kGone) {
        verdict.outcome = Outcome::kFail;
        verdict.reason = m_settings.line + " has gone, and is not opened again: " +
                         m_session.GoneWhy();
        m_over = m_settings.line + " has gone for good";
    } else if (waited == Wait::kStopped) {
        verdict.outcome = Outcome::kError;
        m_over = kStoppedWords;
        verdict.reason = m_over + " (" + StopSignalName() + ")";
    } else {
        verdict.outcome = Outcome::kFail;
        verdict.reason = timedOut;
    }
    Add(verdict, since);
}

bool Cases::SkippedAsOver(Verdict verdict)
{
    if (m_over.empty())
        return false;
    verdict.outcome = Outcome::kSkip;
    verdict.reason = m_over;
    Add(verdict, m_session.Now());
    return true;
}

void Cases::Add(Verdict verdict, uint64_t since)
{
    if (!m_firstFails.empty()) {
        verdict.outcome = Outcome::kFail;
        verdict.reason = m_firstFails;
        m_firstFails.clear();
    }
    verdict.seconds = static_cast<double>(m_session.Now() - since) / 1000;
    m_verdicts.Add(verdict);
}
