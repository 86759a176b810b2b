#include "tools/phone_test/verdicts.h"

#include <unistd.h>

#include <algorithm>

#include "tools/phone_test/shown_text.h"

namespace {

const char* Word(Outcome outcome)
{
    switch (outcome) {
    case Outcome::kPass: return "PASS";
    case Outcome::kFail: return "FAIL";
    case Outcome::kSkip: return "SKIP";
    }
    return "";
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const std::string& line : lines)
        joined += line + "\n";
    return joined;
}

}  // namespace

void Verdicts::Add(const Verdict& verdict)
{
    m_verdicts.push_back(verdict);
    fprintf(m_out, "%s  %s: %s\n", Word(verdict.outcome), verdict.name.c_str(),
            verdict.reason.c_str());
    for (const std::string& line : verdict.details)
        fprintf(m_out, "      %s\n", line.c_str());
    for (const std::string& note : verdict.notes)
        fprintf(m_out, "note  %s\n", note.c_str());
    fflush(m_out);
}

int Verdicts::Count(Outcome outcome) const
{
    return static_cast<int>(std::count_if(m_verdicts.begin(), m_verdicts.end(),
                                          [&](const Verdict& v) { return v.outcome == outcome; }));
}

void Verdicts::PrintClosing() const
{
    fprintf(m_out, "phone-test: %d passed, %d failed, %d skipped\n", Count(Outcome::kPass),
            Count(Outcome::kFail), Count(Outcome::kSkip));
    fflush(m_out);
}

bool Verdicts::WriteJunit(int fd, double seconds, const std::string& output) const
{
    const int own = dup(fd);
    FILE* file = own < 0 ? nullptr : fdopen(own, "w");
    if (file == nullptr)
        return false;
    fprintf(file,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<testsuite name=\"phone-test\" tests=\"%zu\" failures=\"%d\" errors=\"0\" "
            "skipped=\"%d\" time=\"%.3f\">\n",
            m_verdicts.size(), Count(Outcome::kFail), Count(Outcome::kSkip), seconds);
    for (const Verdict& verdict : m_verdicts) {
        fprintf(file, "  <testcase classname=\"phone-test\" name=\"%s\" time=\"%.3f\">\n",
                XmlText(verdict.name).c_str(), verdict.seconds);
        if (verdict.outcome != Outcome::kPass)
            fprintf(file, "    <%s message=\"%s\">%s</%s>\n",
                    verdict.outcome == Outcome::kFail ? "failure" : "skipped",
                    XmlText(verdict.reason).c_str(), XmlText(Joined(verdict.details)).c_str(),
                    verdict.outcome == Outcome::kFail ? "failure" : "skipped");
        if (!verdict.notes.empty())
            fprintf(file, "    <system-out>%s</system-out>\n",
                    XmlText(Joined(verdict.notes)).c_str());
        fputs("  </testcase>\n", file);
    }
    if (!output.empty())
        fprintf(file, "  <system-out>the accessory's output: %s</system-out>\n",
                XmlText(output).c_str());
    fputs("</testsuite>\n", file);
    return fclose(file) == 0;
}
