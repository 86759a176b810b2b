// The headless phone for an accessory's own tests: it plays the phone's end
// of the line against the accessory, with the program's own code, and ends
// with a verdict for each case.
//
//   phone-test [OPTION...] (DEVICE | --run COMMAND)      (--help: the options)
//
// DEVICE is opened as the trace relay opens one (scripts/phone-test has
// refused what scripts/remote refuses first). The trace is written as the
// relay writes its own (trace_output.h). With --run the accessory is
// a program: COMMAND runs with sh -c, every {} in it the path of its end
// of a fresh line, which stays the same for the whole run; its output goes
// to a file beside that path, removed with its folder after the run when
// the program wrote nothing. Exit status 0 when no case failed, 1 when one
// did, 2 when the run could not start or its JUnit file could not be
// written at the end, 130 when it was stopped (SIGINT,
// SIGTERM, or SIGHUP as its terminal closes: the trace's end and the JUnit
// file are written all the same). A refused run leaves no JUnit file.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/phone_test/accessory_program.h"
#include "tools/phone_test/cases.h"
#include "tools/phone_test/junit_file.h"
#include "tools/phone_test/phone_session.h"
#include "tools/phone_test/shown_text.h"
#include "tools/phone_test/test_script.h"
#include "tools/phone_test/verdicts.h"
#include "tools/trace/clock_and_signals.h"
#include "tools/trace/relay_ends.h"
#include "tools/trace/trace_output.h"

namespace {

constexpr char kUsage[] =
    "usage: scripts/phone-test [OPTION...] (DEVICE | --run 'COMMAND'); --help for more";
constexpr char kHelp[] =
    "usage: scripts/phone-test [OPTION...] (DEVICE | --run 'COMMAND')\n"
    "Plays the phone against an accessory, walks its menus and gives a verdict for each case.\n"
    "\n"
    "  DEVICE                the serial device with the accessory at its far end\n"
    "  --run 'COMMAND'       runs the accessory's program with sh -c, each {} the path of\n"
    "                        its end of a fresh line, which the phone-test may drop\n"
    "  --script FILE         runs the steps of FILE instead of the automatic cases\n"
    "  --avoid PATTERN       never picks an item that matches (* and ?), such as 'Quit'\n"
    "                        or 'Power*'; repeatable\n"
    "  --picks N             the most picks the walk makes (100)\n"
    "  --reply-within MS     how long a pick's answer may take (1000)\n"
    "  --start-within MS     for the entry and a menu, once the accessory opens its end (5000)\n"
    "  --return-within MS    for the entry and a menu, once the line returns (3000)\n"
    "  --trace FILE          writes the exchange to FILE (- for standard output)\n"
    "  --junit FILE          writes the cases as JUnit XML, whole, at the end\n"
    "  --name NAME           names the JUnit suite (the command's first word, or DEVICE)\n"
    "  --help                prints this\n"
    "\n"
    "The cases: registers, shows a menu, answers every pick, every item reached,\n"
    "comes back after a drop (with --run), lines read as sent; or a script's steps and\n"
    "lines read as sent.\n"
    "\n"
    "The exit status: 0 when no case failed, 1 when one did, 2 when the run could not start\n"
    "(it leaves no JUnit file) or its JUnit file could not be written at the end, 130 when\n"
    "it was stopped (SIGINT, SIGTERM, SIGHUP).\n";
// A program may build itself or make a Wine prefix before it opens its end.
constexpr uint64_t kOpeningWaitMs = 300000;
constexpr int kCouldNotStart = 2;
constexpr int kNotWritten = 2;  // the JUnit file, at the end
constexpr char kLogName[] = "/accessory.log";  // in the run's folder
constexpr int kStopped = 130;

struct Options {
    std::string device, command, script, trace, junit, name;
    RunSettings settings;
    bool help = false;
};

// A trace on standard output (-, or the file that goes to) has it to
// itself: the run's own lines go to standard error, so that a reader of
// the trace that stops holds up neither.
bool IsStandardOutput(int trace)
{
    struct stat traced, out;
    return trace >= 0 && fstat(trace, &traced) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
           traced.st_dev == out.st_dev && traced.st_ino == out.st_ino;
}

// The usage line stands alone; every other refusal names the phone-test.
int Refuse(const std::string& why)
{
    fprintf(stderr, "%s%s\n", why == kUsage ? "" : "phone-test: ", why.c_str());
    return kCouldNotStart;
}

// A whole number from `least` to `most`.
bool ReadCount(const char* text, long least, long most, long* number)
{
    char* end = nullptr;
    errno = 0;
    *number = strtol(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0 && *number >= least &&
           *number <= most;
}

// The options that take milliseconds, and where each goes.
struct Window {
    const char* option;
    uint64_t RunSettings::*ms;
};
const Window kWindows[] = {
    {"--reply-within", &RunSettings::replyMs},
    {"--start-within", &RunSettings::startMs},
    {"--return-within", &RunSettings::returnMs},
};

// One line naming what is wrong, or an empty string.
std::string ReadOptions(int argc, char** argv, Options* options)
{
    std::string* const texts[] = {&options->command, &options->script, &options->trace,
                                  &options->junit, &options->name};
    const char* const textOptions[] = {"--run", "--script", "--trace", "--junit", "--name"};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto named = [&](const char* name) { return option == name; };
        const Window* window = std::find_if(std::begin(kWindows), std::end(kWindows),
                                            [&](const Window& w) { return named(w.option); });
        const auto text = std::find_if(std::begin(textOptions), std::end(textOptions), named);
        const bool valued = text != std::end(textOptions) || window != std::end(kWindows) ||
                            named("--picks") || named("--avoid");
        if (valued && (i + 1 == argc || argv[i + 1][0] == '\0'))
            return option + " takes a value";
        long number = 0;
        if (named("--help") || named("-h"))
            options->help = true;
        else if (text != std::end(textOptions))
            *texts[text - std::begin(textOptions)] = argv[++i];
        else if (named("--avoid"))
            options->settings.avoid.push_back(WideFromUtf8(argv[++i]));
        else if (named("--picks") && ReadCount(argv[++i], 1, 100000, &number))
            options->settings.picks = static_cast<int>(number);
        else if (window != std::end(kWindows) && ReadCount(argv[++i], 1, 600000, &number))
            options->settings.*window->ms = static_cast<uint64_t>(number);
        else if (named("--picks"))
            return "--picks takes a number of picks from 1 to 100000";
        else if (window != std::end(kWindows))
            return option + " takes milliseconds from 1 to 600000";
        else if (option[0] == '-' || !options->device.empty())
            return kUsage;
        else
            options->device = option;
    }
    if (options->help)
        return "";
    if (options->device.empty() == options->command.empty())
        return options->device.empty() ? kUsage : "give a DEVICE or --run 'COMMAND', not both";
    if (!options->command.empty() && options->command.find("{}") == std::string::npos)
        return "--run 'COMMAND' takes {} where the path of the accessory's end of the line goes";
    return "";
}

// One line naming the file, the line number and what is wrong, or "".
std::string ReadSteps(const Options& options, std::vector<ScriptStep>* steps)
{
    if (options.script.empty())
        return "";
    std::ifstream file(options.script, std::ios::binary);
    const std::string text = file ? std::string(std::istreambuf_iterator<char>(file), {}) : "";
    if (!file && !file.eof())
        return options.script + ": cannot be read (" + strerror(errno) + ")";
    ScriptError error;
    if (!ReadScript(text, steps, &error))
        return options.script + ": line " + std::to_string(error.line) + ": " + error.what;
    for (const ScriptStep& step : *steps) {
        if (step.kind == StepKind::kDrop && options.command.empty())
            return options.script + ": line " + std::to_string(step.line) +
                   ": drop takes the line away, which needs --run: a DEVICE's line is not "
                   "the phone-test's to take";
    }
    return "";
}

// What follows the DEVICE's name when it is refused, in scripts/remote's
// words where it says the same.
std::string DeviceRefusal(const OpenedDevice& opened)
{
    if (opened.result == DeviceOpen::kTerminalInUse)
        return ": a terminal in use (process " + opened.session +
               "); name the accessory's serial device";
    if (opened.result == DeviceOpen::kNoTerminal)
        return ": not a serial device";
    return std::string(": cannot be opened (") + strerror(errno) + ")";
}

// A directory of the run's own for the accessory's end and its output, in
// TMPDIR when its path needs no quoting in COMMAND.
std::string MakeRunDirectory()
{
    const char* base = getenv("TMPDIR");
    if (base == nullptr || *base == '\0' ||
        strspn(base, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-") !=
            strlen(base))
        base = "/tmp";
    std::string path = std::string(base) + "/phone-test.XXXXXX";
    return mkdtemp(&path[0]) != nullptr ? path : "";
}

// The first line sh wrote, for a command that could not be run.
std::string FirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The suite's name by default: the command's first word, as a file's name
// without its folder, or the DEVICE.
std::string AccessoryName(const Options& options)
{
    if (options.command.empty())
        return options.device;
    const size_t start = options.command.find_first_not_of(" \t");
    const std::string word =
        options.command.substr(start, options.command.find_first_of(" \t", start) - start);
    return word.substr(word.rfind('/') + 1);
}

// Whether the accessory's program wrote anything: if not, its output's
// file goes at the end.
bool HasOutput(const std::string& log)
{
    struct stat output = {};
    return !log.empty() && stat(log.c_str(), &output) == 0 && output.st_size != 0;
}

// The line opened or made, the accessory's program started, the cases run
// and their verdicts given; the exit status. Once it returns, the line of
// a --run is gone, and the program's output is all written.
int RunCases(Options& options, const std::vector<ScriptStep>& steps, int trace, JunitFile& junit,
             const std::string& directory)
{
    RunSettings& settings = options.settings;
    if (IsStandardOutput(trace))
        settings.out = stderr;
    settings.rewrites = isatty(fileno(settings.out)) != 0 && (trace < 0 || isatty(trace) == 0);
    PhoneSession session(trace, options.trace.c_str());
    AccessoryProgram program;
    if (options.command.empty()) {
        settings.line = options.device;
        const OpenedDevice opened = session.OpenDevice(options.device);
        if (opened.result != DeviceOpen::kOpened)
            return Refuse(options.device + DeviceRefusal(opened));
        fprintf(settings.out, "phone-test: the accessory on %s\n", options.device.c_str());
    } else {
        settings.line = directory + "/line";
        settings.output = directory + kLogName;
        settings.ownsLine = true;
        settings.program = &program;
        if (!session.OpenOwnedLine(settings.line))
            return Refuse(std::string("no line could be made for the accessory (") +
                          strerror(errno) + ")");
        if (!StartAccessoryProgram(options.command, settings.line, session.OwnedLineEnd(),
                                   settings.output, &program))
            return Refuse("sh cannot be started (" + std::string(strerror(errno)) + ")");
        session.Watch(&program);
        fprintf(settings.out, "phone-test: the accessory is `%s` on %s; its output goes to %s\n",
                options.command.c_str(), settings.line.c_str(), settings.output.c_str());
    }
    fflush(settings.out);

    const Wait opening = session.WaitForOpening(kOpeningWaitMs);
    const bool notRun = opening == Wait::kEnded && program.end.si_code == CLD_EXITED &&
                        (program.end.si_status == 126 || program.end.si_status == 127);
    if (notRun) {
        StopAccessoryProgram(&program);
        return Refuse("the command cannot be run: " + FirstLine(settings.output) + " (" +
                      EndedHow(program) + ")");
    }
    Verdicts verdicts(settings.out);
    Cases cases(session, verdicts, settings);
    if (opening == Wait::kTimeout)
        cases.NeverOpened("the accessory's program did not open its end of the line within " +
                          std::to_string(kOpeningWaitMs / 1000) + " s");
    if (options.script.empty())
        cases.RunAutomatic();
    else
        cases.RunScript(steps);
    // A line that filled the buffer last is judged only as the trace ends.
    session.Finish();
    cases.JudgeLines();
    const double casesSeconds = static_cast<double>(session.Now()) / 1000;  // the program's end aside
    StopAccessoryProgram(&program);
    verdicts.PrintClosing();
    const std::string xml =
        verdicts.Junit(options.name.empty() ? AccessoryName(options) : options.name, casesSeconds,
                       HasOutput(settings.output) ? settings.output : "");
    const bool written = options.junit.empty() || junit.Write(xml);
    if (!written)
        fprintf(stderr, "phone-test: %s: the JUnit file could not be written (%s)\n",
                options.junit.c_str(), strerror(errno));
    // Also when it came as the program was being ended.
    if (opening == Wait::kStopped || cases.Stopped() || StopAsked())
        return kStopped;
    // CI would read a missing report as no result at all, or an old one.
    if (!written)
        return kNotWritten;
    return verdicts.Count(Outcome::kFail) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    KeepStandardStreams();
    Options options;
    std::string wrong = ReadOptions(argc, argv, &options);
    if (!wrong.empty())
        return Refuse(wrong);
    if (options.help) {
        fputs(kHelp, stdout);
        return 0;
    }
    JunitFile junit;
    if (!options.junit.empty() && !junit.Prepare(options.junit))
        return Refuse(options.junit + ": the JUnit file cannot be written there (" +
                      strerror(errno) + ")");
    // From here on a refused run leaves no JUnit file.
    const auto refused = [&](const std::string& why) {
        junit.Discard();
        return Refuse(why);
    };
    std::vector<ScriptStep> steps;
    wrong = ReadSteps(options, &steps);
    if (!wrong.empty())
        return refused(wrong);
    const int trace = options.trace.empty() ? kNoTrace : OpenTrace(options.trace.c_str());
    if (trace == -1)
        return refused(options.trace + ": the trace cannot be written there (" +
                       strerror(errno) + ")");

    // Made before anything is started, so that it is removed however the
    // run ends.
    const std::string directory = options.command.empty() ? "" : MakeRunDirectory();
    if (!options.command.empty() && directory.empty())
        return refused(std::string("no folder could be made for the accessory's line (") +
                       strerror(errno) + ")");
    CatchStopSignals({SIGINT, SIGTERM, SIGHUP});
    const int status = RunCases(options, steps, trace, junit, directory);
    if (status == kCouldNotStart)
        junit.Discard();
    if (!directory.empty())
        RemoveRunFolderIfQuiet(directory + kLogName);
    return status;
}
