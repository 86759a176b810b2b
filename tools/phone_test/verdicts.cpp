#include "tools/phone_test/verdicts.h"

#include <algorithm>

#include "tools/phone_test/shown_text.h"

namespace {

const char* Word(Outcome outcome)
{
    switch (outcome) {
    case Outcome::kPass: return "PASS";
    case Outcome::kFail: return "FAIL";
    case Outcome::kSkip: return "SKIP";
    case Outcome::kError: return "ERROR";
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
    fprintf(m_out, "phone-test: %d passed, %d failed, %d skipped%s\n", Count(Outcome::kPass),
            Count(Outcome::kFail), Count(Outcome::kSkip),
            Count(Outcome::kError) == 0 ? "" : ", an error: the run was stopped");
    fflush(m_out);
}

std::string Verdicts::Junit(const std::string& name, double seconds,
                            const std::string& output) const
{
    const char* const tags[] = {"", "failure", "skipped", "error"};  // in the order of Outcome
    char head[160];
    snprintf(head, sizeof head,
             "\" tests=\"%zu\" failures=\"%d\" errors=\"%d\" skipped=\"%d\" time=\"%.3f\">\n",
             m_verdicts.size(), Count(Outcome::kFail), Count(Outcome::kError),
             Count(Outcome::kSkip), seconds);
    const std::string named = XmlText(name);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"" + named + head;
    for (const Verdict& verdict : m_verdicts) {
        char time[32];
        snprintf(time, sizeof time, "%.3f", verdict.seconds);
        xml += "  <testcase classname=\"" + named + "\" name=\"" + XmlText(verdict.name) +
               "\" time=\"" + time + "\">\n";
        const std::string tag = tags[static_cast<int>(verdict.outcome)];
        if (!tag.empty())
            xml += "    <" + tag + " message=\"" + XmlText(verdict.reason) + "\">" +
                   XmlText(Joined(verdict.details)) + "</" + tag + ">\n";
        if (!verdict.notes.empty())
            xml += "    <system-out>" + XmlText(Joined(verdict.notes)) + "</system-out>\n";
        xml += "  </testcase>\n";
    }
    if (!output.empty())
        xml += "  <system-out>the accessory's output: " + XmlText(output) + "</system-out>\n";
    return xml + "</testsuite>\n";
}
