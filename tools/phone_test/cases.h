// The cases a run makes, on a session whose line has just opened: the
// automatic ones, or a script's steps; and, in both, whether every line
// was read as it was sent.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/phone_test/menu_walk.h"
#include "tools/phone_test/phone_session.h"
#include "tools/phone_test/test_script.h"
#include "tools/phone_test/verdicts.h"

struct RunSettings {
    int picks = 100;          // the walk's bound
    uint64_t replyMs = 1000;  // for a pick's answer, and a script's expect
    uint64_t startMs = 5000;  // for the entry and a menu, once the line opens
    uint64_t returnMs = 3000;       // the same once the line returns
    uint64_t openingMs = 300000;    // for the program's open, from the session's start
    std::vector<std::wstring> avoid;  // patterns of items the walk never picks
    bool ownsLine = false;    // --run: the line can be dropped
    std::string line;         // the DEVICE, or the path of the accessory's end
    std::string output;       // where the accessory's program writes, if it is one
    FILE* out = stdout;       // the verdicts and the walk's progress
    bool rewrites = false;    // out is a terminal no trace shares: progress is rewritten
    const AccessoryProgram* program = nullptr;
};

class Cases {
public:
    Cases(PhoneSession& session, Verdicts& verdicts, const RunSettings& settings);

    // registers, shows a menu, answers every pick, every item reached,
    // comes back after a drop.
    void RunAutomatic();
    // Each step a case; once one fails, the rest are skipped.
    void RunScript(const std::vector<ScriptStep>& steps);
    // lines read as sent: the findings on every line of the run.
    void JudgeLines();
    // The accessory's program never opened its end of the line: the first
    // case fails, and the rest are skipped.
    void NeverOpened(const std::string& why);

    bool Stopped() const { return m_over == kStoppedWords; }

private:
    static constexpr const char* kStoppedWords = "the run was stopped";

    struct Screen {
        bool hasEntry = false;
        std::wstring entry;
        bool hasMenu = false;
        ShownMenu menu;
    };

    uint64_t StartDeadline() const;
    void Opening();
    void Walk();
    Wait WalkMenus(MenuWalk& walk, std::vector<std::string>* unanswered, uint64_t* slowest);
    Wait AwaitAnswer(MenuWalk& walk, uint64_t deadline);
    void DropAndReturn();
    Wait Expect(const ScriptStep& step, Screen& screen, const std::function<uint64_t()>& until,
                Verdict* verdict);
    Wait PickStep(const ScriptStep& step, Screen& screen, Verdict* verdict);
    void Apply(const Shown& shown, Screen& screen) const;
    bool ShownAgain(const Shown& shown) const;
    Wait TakeQueued(Screen& screen);
    // A case that could not finish: it fails (or is skipped, when the run
    // was stopped); once the run is over, every later case is skipped.
    void Missed(Verdict verdict, uint64_t since, Wait waited, const std::string& timedOut);
    bool SkippedAsOver(Verdict verdict);
    void Add(Verdict verdict, uint64_t since);

    PhoneSession& m_session;
    Verdicts& m_verdicts;
    RunSettings m_settings;
    Screen m_screen;     // what the automatic cases last saw
    // The accessory has sent the menu shown again, unchanged, with no pick
    // to answer: such a copy after a pick does not tell that it read it.
    bool m_resendsUnasked = false;
    std::string m_lastPick;      // the walk's: "pick 6, "Quit" in "Main""
    std::wstring m_lastPickItem;  // its item
    std::string m_over;        // why no further case can run, once one cannot
    std::string m_firstFails;  // why the next case fails, whatever it found
};
