// Checks a saved trace afterwards, as the relay checks the exchange live.
//
//   check-trace FILE
//
// Prints the trace again with the findings worked out afresh after each
// line of the accessory's, and the summary at the end, stamped with the
// trace's last time; the finding and summary lines it reads are left out.
// The relay's news of the link starts the reading afresh as it did live.
// A trace that ends inside a line (cut short in the saving) is checked as
// far as it goes: that last line, if it reads as one, is taken as
// unfinished. A file that is no trace, or cannot be read, gets one line
// saying so and exit status 1.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/trace/trace_line.h"
#include "tools/trace/trace_writer.h"

namespace {

int Refuse(const char* path, const std::string& why)
{
    fprintf(stderr, "check-trace: %s: %s\n", path, why.c_str());
    return 1;
}

}  // namespace

constexpr char kUsage[] = "usage: check-trace FILE\n";
constexpr char kHelp[] =
    "Prints a saved trace again with the findings after each of the accessory's lines\n"
    "worked out afresh, and their summary. A trace cut short is checked as far as it\n"
    "goes. Exit status 0 once it is checked; 1 when FILE is no trace or cannot be read\n"
    "(one line says why); 2 for a wrong command line. (./--help names a file --help.)\n";

int main(int argc, char** argv)
{
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("%s%s", kUsage, kHelp);
        return 0;
    }
    if (argc != 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    const char* path = argv[1];
    std::ifstream file(path, std::ios::binary);
    const std::string text = file ? std::string(std::istreambuf_iterator<char>(file), {}) : "";
    if (!file && !file.eof())
        return Refuse(path, std::string("cannot be read: ") + strerror(errno));

    std::vector<TraceLine> lines;
    size_t number = 0;
    for (size_t at = 0; at < text.size(); ++number) {
        const size_t newline = text.find('\n', at);
        const bool cutShort = newline == std::string::npos;
        TraceLine line;
        if (!ParseTraceLine(text.substr(at, cutShort ? std::string::npos : newline - at), &line)) {
            if (cutShort && number != 0)
                break;
            return Refuse(path, "line " + std::to_string(number + 1) + " is not a trace line");
        }
        if (cutShort && line.end == LineEnd::kCr)
            line.end = LineEnd::kEnd;
        lines.push_back(line);
        at = cutShort ? text.size() : newline + 1;
    }
    if (lines.empty())
        return Refuse(path, "holds no trace line");

    TraceWriter trace(stdout);
    uint64_t last = 0;
    for (const TraceLine& line : lines) {
        last = line.ms > last ? line.ms : last;
        if (line.side == "accessory")
            trace.Accessory(line.ms, line.text, line.end);
        else if (line.side == "phone")
            trace.Phone(line.ms, line.text, line.end);
        else if (line.side != "finding" && line.side != "summary")
            trace.Relayed(line);
    }
    trace.Summary(last);
    return 0;
}
