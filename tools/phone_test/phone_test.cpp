// The headless phone for an accessory's own tests: it plays the phone's end
// of the line against the accessory, with the program's own code, and ends
// with a verdict for each case.
//
//   phone-test [--script FILE] [--trace FILE] [--junit FILE] [--picks N]
//              [--reply-within MS] (DEVICE | --run COMMAND)
//
// DEVICE is opened as the trace relay opens one (scripts/phone-test has
// refused what scripts/remote refuses first). The trace is written as the
// relay writes its own (trace_output.h). With --run the accessory is
// a program: COMMAND runs with sh -c, every {} in it the path of its end
// of a fresh line, which stays the same for the whole run; its output goes
// to a file beside that path, removed with its folder after the run when
// the program wrote nothing. Exit status 0 when no case failed, 1 when one
// did, 2 when the run could not start, 130 when it was stopped (SIGINT,
// SIGTERM, or SIGHUP as its terminal closes: the trace's end and the JUnit
// file are written all the same).
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/phone_test/accessory_program.h"
#include "tools/phone_test/cases.h"
#include "tools/phone_test/phone_session.h"
#include "tools/phone_test/test_script.h"
#include "tools/phone_test/verdicts.h"
#include "tools/trace/clock_and_signals.h"
#include "tools/trace/relay_ends.h"
#include "tools/trace/trace_output.h"

namespace {

constexpr char kUsage[] =
    "usage: scripts/phone-test [--script FILE] [--trace FILE] [--junit FILE] [--picks N] "
    "[--reply-within MS] (DEVICE | --run 'COMMAND')";
// A program may build itself or make a Wine prefix before it opens its end.
constexpr uint64_t kOpeningWaitMs = 300000;
constexpr int kCouldNotStart = 2;
constexpr char kLogName[] = "/accessory.log";  // in the run's folder
constexpr int kStopped = 130;

struct Options {
    std::string device, command, script, trace, junit;
    RunSettings settings;
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

// One line naming what is wrong, or an empty string.
std::string ReadOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool valued = option == "--run" || option == "--script" || option == "--trace" ||
                            option == "--junit" || option == "--picks" ||
                            option == "--reply-within";
        if (valued && (i + 1 == argc || argv[i + 1][0] == '\0'))
            return option + " takes a value";
        long number = 0;
        if (option == "--run")
            options->command = argv[++i];
        else if (option == "--script")
            options->script = argv[++i];
        else if (option == "--trace")
            options->trace = argv[++i];
        else if (option == "--junit")
            options->junit = argv[++i];
        else if (option == "--picks" && ReadCount(argv[++i], 1, 100000, &number))
            options->settings.picks = static_cast<int>(number);
        else if (option == "--reply-within" && ReadCount(argv[++i], 1, 600000, &number))
            options->settings.replyMs = static_cast<uint64_t>(number);
        else if (option == "--picks")
            return "--picks takes a number of picks from 1 to 100000";
        else if (option == "--reply-within")
            return "--reply-within takes milliseconds from 1 to 600000";
        else if (option[0] == '-' || !options->device.empty())
            return kUsage;
        else
            options->device = option;
    }
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

// The line opened or made, the accessory's program started, the cases run
// and their verdicts given; the exit status. Once it returns, the line of
// a --run is gone, and the program's output is all written.
int RunCases(Options& options, const std::vector<ScriptStep>& steps, int trace, int junit,
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
    if (junit >= 0 && !verdicts.WriteJunit(junit, casesSeconds, settings.output))
        fprintf(stderr, "phone-test: %s: the JUnit file could not be written\n",
                options.junit.c_str());
    if (opening == Wait::kStopped || cases.Stopped())
        return kStopped;
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
    std::vector<ScriptStep> steps;
    wrong = ReadSteps(options, &steps);
    if (!wrong.empty())
        return Refuse(wrong);
    const int trace = options.trace.empty() ? kNoTrace : OpenTrace(options.trace.c_str());
    if (trace == -1)
        return Refuse(options.trace + ": the trace cannot be written there (" + strerror(errno) +
                      ")");
    const int junit = options.junit.empty() ? -1 : OpenToWrite(options.junit.c_str());
    if (!options.junit.empty() && junit < 0)
        return Refuse(options.junit + ": the JUnit file cannot be written there (" +
                      strerror(errno) + ")");

    // Made before anything is started, so that it is removed however the
    // run ends.
    const std::string directory = options.command.empty() ? "" : MakeRunDirectory();
    if (!options.command.empty() && directory.empty())
        return Refuse(std::string("no folder could be made for the accessory's line (") +
                      strerror(errno) + ")");
    CatchStopSignals({SIGINT, SIGTERM, SIGHUP});
    const int status = RunCases(options, steps, trace, junit, directory);
    if (!directory.empty())
        RemoveRunFolderIfQuiet(directory + kLogName);
    return status;
}
