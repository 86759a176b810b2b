// The cases' verdicts: each printed as it ends, the closing count, and the
// JUnit XML that CI systems read.
#pragma once

#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

// An error: the case could not end, as the run was stopped.
enum class Outcome { kPass, kFail, kSkip, kError };

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
    // phone-test: N passed, M failed, K skipped (, an error)
    void PrintClosing() const;
    // One testsuite `name`, a testcase of that class for each verdict;
    // `output`, when given, names where the accessory's program wrote.
    std::string Junit(const std::string& name, double seconds, const std::string& output) const;

private:
    FILE* m_out;
    std::vector<Verdict> m_verdicts;
};
