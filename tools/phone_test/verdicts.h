// The cases' verdicts: each printed as it ends, the closing count, and the
// JUnit XML that CI systems read.
#pragma once

#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

enum class Outcome { kPass, kFail, kSkip };

struct Verdict {
    explicit Verdict(std::string caseName, Outcome ended = Outcome::kPass, std::string why = "")
        : name(std::move(caseName)), outcome(ended), reason(std::move(why))
    {
    }

    std::string name;
    Outcome outcome = Outcome::kPass;
    std::string reason;                // what passed, or why not
    std::vector<std::string> details;  // lines that back the reason
    std::vector<std::string> notes;    // worth telling, not failing
    double seconds = 0;
};

class Verdicts {
public:
    explicit Verdicts(FILE* out) : m_out(out) {}

    void Add(const Verdict& verdict);
    int Count(Outcome outcome) const;
    // phone-test: N passed, M failed, K skipped
    void PrintClosing() const;
    // One testsuite, a testcase for each verdict, written to `fd` (which
    // stays open); `output` names where the accessory's program wrote, when
    // it is one.
    bool WriteJunit(int fd, double seconds, const std::string& output) const;

private:
    FILE* m_out;
    std::vector<Verdict> m_verdicts;
};
