// The benchmark: the real remote.exe against a scripted peer on the
// null-modem. Prints each figure as it comes, and writes them all as JSON
// for bench/report.py's table.
//
//   bench.exe [--quick] [--bin DIR] [--label NAME] [--rounds R --round K] --out FILE
//
// DIR holds the remote.exe and accessory-demo.exe to measure (by default
// the ones beside this program), so that two builds compare in one run.
// With R rounds, this run is round K of R and takes 1/R of each figure's
// samples: two builds measured in alternating rounds see the same load on a
// shared machine, and their rounds' samples are pooled in the table.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/refill_profile.h"
#include "settings/port_setting.h"
#include "testbed/peer.h"
#include "testbed/process_figures.h"
#include "testbed/remote_program.h"
#include "testbed/wait.h"

namespace {

std::mt19937 g_random(1);  // the moments at which the peer acts

struct Options {
    bool quick = false;
    std::wstring bin;
    std::string label = "bench";
    int rounds = 1;
    int round = 1;
    std::wstring out;
};

// This round's part of a figure's samples, `quick` or `full` in all:
// rounded up, so that the rounds together take at least as many, and
// `atLeast`, so that a comparison has enough of a costly figure's samples on
// each side for the rank test to tell a change from chance (six a side in
// three rounds).
int Share(const Options& options, int quick, int full, int atLeast = 1)
{
    const int total = options.quick ? quick : full;
    return std::max(atLeast, (total + options.rounds - 1) / options.rounds);
}

// Samples are compared by their ranks, so a change is news only when the
// samples bear it out; counts, sizes and flags are exact, any change news. A
// gauge's samples time this program's own code, the same whichever build is
// measured: they show the machine, and are never compared.
enum class Spread { kSamples, kExact, kGauge };

struct Figure {
    std::string name;
    std::string unit;
    std::vector<double> samples;  // -1: not within the figure's wait
    Spread spread;
    std::string comparedWith;
};

std::string JsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return quoted + "\"";
}

double Percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<size_t>(fraction * (samples.size() - 1) + 0.5)];
}

// Each figure is printed as it is measured, as a progress log (the table is
// bench/report.py's, from the JSON written at the end, which keeps every
// sample so that the rounds can be pooled).
class Report {
public:
    explicit Report(const Options& options) : m_label(options.label)
    {
        if (options.rounds > 1)
            m_label += " " + std::to_string(options.round) + "/" + std::to_string(options.rounds);
    }

    void Add(const Figure& figure)
    {
        m_figures.push_back(figure);
        // The median, within the smallest sample and the 95th percentile:
        // the slowest few are the machine's as often as the program's.
        const std::vector<double>& samples = figure.samples;
        printf(figure.spread == Spread::kExact ? "[%s] %s: %.10g%s%s" : "[%s] %s: %.2f%s%s",
               m_label.c_str(), figure.name.c_str(), Percentile(samples, 0.5),
               figure.unit.empty() ? "" : " ", figure.unit.c_str());
        if (figure.spread != Spread::kExact)
            printf(" (%.2f to %.2f, n=%zu)", Percentile(samples, 0), Percentile(samples, 0.95),
                   samples.size());
        printf("\n");
        fflush(stdout);
    }
    void Write(const Options& options) const
    {
        static const char* const kSpreads[] = {"samples", "exact", "gauge"};
        FILE* file = _wfopen(options.out.c_str(), L"w");
        if (file == nullptr)
            return;
        fprintf(file,
                "{\"label\": %s, \"quick\": %s, \"round\": %d, \"rounds\": %d, "
                "\"figures\": [\n",
                JsonString(options.label).c_str(), options.quick ? "true" : "false",
                options.round, options.rounds);
        for (size_t i = 0; i < m_figures.size(); ++i) {
            const Figure& figure = m_figures[i];
            std::string samples;
            for (const double sample : figure.samples) {
                char text[32];
                snprintf(text, sizeof text, "%s%.4f", samples.empty() ? "" : ", ", sample);
                samples += text;
            }
            fprintf(file,
                    "  {\"name\": %s, \"unit\": %s, \"spread\": \"%s\", \"compared_with\": %s,\n"
                    "   \"value\": %.4f, \"low\": %.4f, \"high\": %.4f, \"n\": %zu,\n"
                    "   \"samples\": [%s]}%s\n",
                    JsonString(figure.name).c_str(), JsonString(figure.unit).c_str(),
                    kSpreads[static_cast<int>(figure.spread)],
                    JsonString(figure.comparedWith).c_str(), Percentile(figure.samples, 0.5),
                    Percentile(figure.samples, 0), Percentile(figure.samples, 0.95),
                    figure.samples.size(), samples.c_str(), i + 1 < m_figures.size() ? "," : "");
        }
        fprintf(file, "]}\n");
        fclose(file);
    }

private:
    std::string m_label;
    std::vector<Figure> m_figures;
};

void AddSpread(Report& report, const std::string& name, const std::vector<double>& samples,
               const std::string& comparedWith = "", const std::string& unit = "ms")
{
    report.Add({name, unit, samples, Spread::kSamples, comparedWith});
}

void AddExact(Report& report, const std::string& name, double value, const std::string& unit,
              const std::string& comparedWith = "")
{
    report.Add({name, unit, {value}, Spread::kExact, comparedWith});
}

// How long 115200 and 921600 baud lines take to carry `bytes` (ten bits a
// byte).
std::string LineTime(size_t bytes)
{
    char text[96];
    snprintf(text, sizeof text, "a 115200 baud line: %.0f ms; 921600: %.0f ms",
             bytes * 10 * 1000.0 / 115200, bytes * 10 * 1000.0 / 921600);
    return text;
}

std::string Submenu(const std::string& title, int items, const std::string& item = "Item ")
{
    std::string line = "AT*EASM=\"" + title + "\",1,1," + std::to_string(items);
    for (int number = 1; number <= items; ++number)
        line += ",\"" + item + std::to_string(number) + "\"";
    return line + ",1\r";
}

size_t CountOks(const std::string& bytes)
{
    size_t count = 0;
    for (size_t at = bytes.find("OK\r"); at != std::string::npos; at = bytes.find("OK\r", at + 3))
        ++count;
    return count;
}

// The bursts and the start: costly, so few, but six a side in a
// comparison's three rounds.
int Repetitions(const Options& options)
{
    return Share(options, 3, 5, 2);
}

struct BurstResult {
    size_t answered;
    double lastOkMs;
};

// Sends a burst at once; counts the OKs and the time to the last one.
BurstResult Burst(Peer& peer, const std::string& bytes, size_t lines)
{
    peer.Forget();
    const double start = NowMs();
    peer.Send(bytes);
    // Polled, not waited on: a waiter woken by every OK would add server
    // round trips of its own to each of the program's lines.
    Eventually([&] { return peer.ReceivedLines().size() >= lines; }, 60000);
    // A late extra answer would show here, or in the next repetition's
    // count: well after the reader's 200 ms pause.
    Sleep(500);
    return {CountOks(peer.Received()), peer.LastArrivalMs() - start};
}

// Of the counts, the one furthest from the lines sent: a single repetition
// that answered a line twice, or not at all, is the news.
void AddBursts(Report& report, const std::string& name, const std::vector<BurstResult>& bursts,
               size_t lines, size_t bytes)
{
    std::vector<double> times;
    size_t worst = lines;
    for (const BurstResult& burst : bursts) {
        times.push_back(burst.lastOkMs);
        const auto off = [lines](size_t answered) {
            return answered > lines ? answered - lines : lines - answered;
        };
        if (off(burst.answered) > off(worst))
            worst = burst.answered;
    }
    AddExact(report, name + ": lines answered", static_cast<double>(worst), "lines",
             "sent " + std::to_string(lines) + "; the worst of the repetitions");
    AddSpread(report, name + ": last OK after", times, LineTime(bytes));
}

// A real accessory program's start-up: each command waits for its OK.
const char* const kStartUp[] = {"ATZ\r",     "ATE0\r",         "AT+CSCS=\"8859-1\"\r",
                                "AT+CGMI\r", "AT+CLIP=1\r",    "AT*EAM=\"Bench\"\r\r",
                                "AT+CLCC\r"};
constexpr size_t kStartUpBytes = 89;  // the commands, and an OK for each

double AccessoryStartUp(Peer& peer)
{
    peer.Forget();
    const double start = NowMs();
    size_t answered = 0;
    for (const char* command : kStartUp) {
        peer.Send(command);
        if (!peer.WaitForLines(++answered, 2000))
            return -1;
    }
    return peer.LastArrivalMs() - start;
}

// Handles and threads are counted once two readings 100 ms apart agree: a
// port switch's reader thread and its handles take a moment to go, and a
// count read meanwhile would differ from round to round with the same code.
void AddProcessState(Report& report, RemoteProgram& program, const std::string& when)
{
    const Child& child = program.Process();
    size_t handles = HandleCount(child.Id()), threads = ThreadCount(child.Id());
    for (int read = 0; read < 50; ++read) {
        Sleep(100);
        const size_t nowHandles = HandleCount(child.Id()), nowThreads = ThreadCount(child.Id());
        if (nowHandles == handles && nowThreads == threads)
            break;
        handles = nowHandles, threads = nowThreads;
    }
    AddExact(report, "remote.exe handles " + when, static_cast<double>(handles), "");
    AddExact(report, "remote.exe threads " + when, static_cast<double>(threads), "");
    // It moves by a page or two with the same code: one reading a round, a
    // sample among the rounds'.
    AddSpread(report, "remote.exe committed memory " + when,
              {static_cast<double>(CommittedKb(child.Process()))}, "", "KB");
}

// As Linux counts the program's time, in 10 ms ticks, over back-to-back
// readings (half a second each in the quick run, a second in the full),
// this round's part of them: they are the figure's samples.
void IdleCpu(Report& report, RemoteProgram& program, const std::string& name,
             const Options& options)
{
    const DWORD ms = options.quick ? 500 : 1000;
    std::vector<double> readings;
    double before = program.CpuMs();
    for (int i = 0; i < Share(options, 6, 9); ++i) {
        Sleep(ms);
        const double after = program.CpuMs();
        if (before >= 0 && after >= 0)
            readings.push_back(100.0 * (after - before) / ms);
        before = after;
    }
    AddSpread(report, name, readings,
              "of one core, readings of " + std::to_string(ms) + " ms (a tick: " +
                  std::to_string(1000 / ms) + " %)",
              "%");
}

// Picks a port in the list and times from the moment its box has gone until
// the new port answers an "AT" its peer writes as soon as the list marks the
// port. (On Xvfb, with no window manager, Wine waits two seconds for the
// box's window to be withdrawn before the box is gone.)
double SwitchPort(RemoteProgram& program, Peer& next, int port)
{
    if (port == 0) {  // no port: marked at once, and no device to answer
        program.PostKey('1');
        DismissMessageBox(5000);
        Eventually([&] { return program.Item(0).find(L" - ") != std::wstring::npos; }, 5000);
        return 0;
    }
    program.PostKey('1' + port);
    Eventually([] { return FindWindowW(L"#32770", L"Remote") != nullptr; }, 5000);
    next.Forget();
    DismissMessageBox(0);
    const double start = NowMs();
    Eventually([&] { return program.Item(port).find(L" - ") != std::wstring::npos; }, 5000);
    next.Send("AT\r");
    next.WaitForLines(1, 5000);
    return next.LastArrivalMs() - start;
}

void PortMode(Report& report, RemoteProgram& program, Peer& peer, const Options& options)
{
    IdleCpu(report, program, "idle CPU with a port open", options);

    std::vector<double> replies;
    for (int i = 0; i < Share(options, 50, 200); ++i) {
        Sleep(std::uniform_int_distribution<int>(0, 300)(g_random));
        peer.Forget();
        const double start = NowMs();
        peer.Send("AT\r");
        if (peer.WaitForLines(1, 2000))
            replies.push_back(peer.LastArrivalMs() - start);
    }
    AddSpread(report, "reply to AT", replies, "floor: " + LineTime(6) + " (AT and OK)");

    std::vector<double> startUps;
    for (int i = 0; i < Share(options, 10, 50); ++i)
        startUps.push_back(AccessoryStartUp(peer));
    AddSpread(report, "accessory start-up, 7 commands, to the last OK", startUps,
              "floor: " + LineTime(kStartUpBytes));

    std::string ats;
    for (int i = 0; i < 1000; ++i)
        ats += "AT\r";
    std::vector<BurstResult> bursts;
    for (int i = 0; i < Repetitions(options); ++i)
        bursts.push_back(Burst(peer, ats, 1000));
    AddBursts(report, "1000 AT at once", bursts, 1000, ats.size());

    const int lines = (Share(options, 10000, 100000) + 499) / 500 * 500;
    AddProcessState(report, program, "before " + std::to_string(lines) + " lines");
    for (int sent = 0; sent < lines; sent += 500) {
        std::string chunk;
        for (int i = 0; i < 500; ++i)
            chunk += "AT+CMER=3,2,0,0,0\r";
        peer.Forget();
        peer.Send(chunk);
        peer.WaitForLines(500, 30000);
    }
    AddProcessState(report, program, "after " + std::to_string(lines) + " lines");

    Peer next(kPairB);
    const int switches = (Share(options, 20, 1000) + 1) / 2 * 2;
    std::vector<double> picks;
    for (int i = 0; i < switches; ++i) {
        if (i == switches / 2)  // growth between the halves would be a leak
            AddProcessState(report, program, "after " + std::to_string(i) + " port switches");
        picks.push_back(SwitchPort(program, i % 2 == 0 ? next : peer, i % 2 == 0 ? 7 : 5));
    }
    AddSpread(report, "port pick to the new port answering", picks);
    AddProcessState(report, program, "after " + std::to_string(switches) + " port switches");

    SwitchPort(program, peer, 0);  // no port
    IdleCpu(report, program, "idle CPU without a port", options);
    SwitchPort(program, peer, 5);
}

void MenuMode(Report& report, RemoteProgram& program, Peer& peer, const Options& options)
{
    std::vector<double> shown, keys;
    for (int i = 0; i < Share(options, 10, 50); ++i) {
        // The program answers a submenu once its list has been refilled, so
        // the OK's arrival times the list at the line's resolution; the
        // title then read from the list confirms it.
        const std::wstring title = L"Menu " + std::to_wstring(i);
        peer.Forget();
        const double start = NowMs();
        peer.Send(Submenu("Menu " + std::to_string(i), 20));
        if (peer.WaitForLines(1, 5000) && program.Title() == title)
            shown.push_back(peer.LastArrivalMs() - start);
        peer.Forget();
        const double pressed = NowMs();
        program.Key('1' + i % 9);
        if (peer.WaitForLines(1, 2000))
            keys.push_back(peer.LastArrivalMs() - pressed);
    }
    AddSpread(report, "20-item submenu arrival to list shown (its OK)", shown,
              "floor: " + LineTime(Submenu("Menu 0", 20).size()));
    AddSpread(report, "key to *EAMI on the wire", keys);

    // The same text in 8859-1 and in UTF-8 (two bytes for each accented
    // letter), in turn, each declared before its submenu.
    std::vector<double> latin1, utf8;
    for (int i = 0; i < Share(options, 10, 50); ++i) {
        for (const bool inUtf8 : {false, true}) {
            peer.Forget();
            peer.Send(inUtf8 ? "AT+CSCS=\"UTF-8\"\r" : "AT+CSCS=\"8859-1\"\r");
            peer.WaitForLines(1, 2000);
            const std::string number = std::to_string(i);
            const std::string line =
                inUtf8 ? Submenu("Men\xC3\xBC \xC3\x84" + number, 20, "\xC3\x89l\xC3\xA9ment ")
                       : Submenu("Men\xFC \xC4" + number, 20, "\xC9l\xE9ment ");
            peer.Forget();
            const double start = NowMs();
            peer.Send(line);
            if (peer.WaitForLines(1, 5000) &&
                program.Title() == L"Men\x00FC \x00C4" + std::to_wstring(i))
                (inUtf8 ? utf8 : latin1).push_back(peer.LastArrivalMs() - start);
        }
    }
    AddSpread(report, "accented 20-item submenu shown, in 8859-1", latin1);
    AddSpread(report, "the same in UTF-8", utf8, "-1: not shown decoded");

    // Each repetition's titles are its own, so that the last one shown is
    // this repetition's.
    for (int count : {30, 200}) {
        std::vector<BurstResult> bursts;
        bool shown = true;
        size_t bytes = 0;
        for (int repetition = 0; repetition < Repetitions(options); ++repetition) {
            const std::string title = "Burst " + std::to_string(repetition) + ".";
            std::string burst;
            for (int i = 0; i < count; ++i)
                burst += Submenu(title + std::to_string(i), 20);
            bursts.push_back(Burst(peer, burst, count));
            const std::string last = title + std::to_string(count - 1);
            shown &= program.Title() == std::wstring(last.begin(), last.end());
            bytes = burst.size();
        }
        AddBursts(report, std::to_string(count) + " 20-item submenus at once", bursts, count,
                  bytes);
        AddExact(report, std::to_string(count) + " submenus: last one shown", shown, "",
                 "1: after every repetition");
    }
}

// Milliseconds until `condition` holds, polled every 20 ms; -1 when it does
// not within `timeoutMs`.
template <typename Condition>
double TimeUntil(Condition condition, DWORD timeoutMs)
{
    const double start = NowMs();
    return Eventually(condition, timeoutMs) ? NowMs() - start : -1;
}

struct Return {
    double answering = -1;  // the first OK to an AT sent every 20 ms
    double shown = -1;      // the list shows the device back
};

// Times a device's return, from now, to the program's first answer and to
// its list showing the device open.
template <typename ShownBack>
Return TimeReturn(Peer& back, ShownBack shownBack)
{
    Return times;
    const double returned = NowMs();
    while ((times.answering < 0 || times.shown < 0) && NowMs() - returned < 6000) {
        if (times.answering < 0) {
            back.Send("AT\r");
            if (back.WaitForLines(1, 20))
                times.answering = back.LastArrivalMs() - returned;
        } else {
            Sleep(20);
        }
        if (times.shown < 0 && shownBack())
            times.shown = NowMs() - returned;
    }
    return times;
}

// The program's device goes away (its pair is cut, as a Bluetooth link
// drops) and comes back while the accessory's menu is shown: the CPU it
// uses meanwhile, how soon the menu is disabled and enabled again, and how
// soon after the return it answers.
void DeviceReturns(Report& report, Peer& peer, RemoteProgram& program, const Options& options)
{
    peer.Hangup();
    std::vector<double> answering, disabled, enabled;
    for (int i = 0; i < Share(options, 3, 10, 2); ++i) {
        {
            Outage outage(kBenchModem, kPairA);
            if (!outage.Gone())
                break;
            disabled.push_back(TimeUntil([&] { return !IsWindowEnabled(program.List()); }, 3000));
            if (i == 0)
                IdleCpu(report, program, "CPU while its device is away", options);
            else
                Sleep(std::uniform_int_distribution<int>(300, 1300)(g_random));
        }
        Peer back(kPairA, "", Peer::kPairJustBack);
        const Return times =
            TimeReturn(back, [&] { return IsWindowEnabled(program.List()) != FALSE; });
        answering.push_back(times.answering);
        if (disabled.back() >= 0)
            enabled.push_back(times.shown);
    }
    AddSpread(report, "device back to answering again", answering,
              "-1: not within 6 s; it retries once a second");
    AddSpread(report, "device cut to menu disabled", disabled, "-1: not within 3 s");
    AddSpread(report, "device back to menu enabled", enabled, "-1: not within 6 s");
}

// The program starts, or the user picks its port, while the device is away
// (an accessory not switched on yet): how soon after the device appears it
// answers and marks the port " - OK". At start also the CPU it uses while it
// tries the device, and, once the device is cut again, how soon the mark
// says " - Error" and how soon it ends when closed while it tries.
void DeviceAbsent(Report& report, const std::wstring& remote, const Options& options,
                  const std::string& when)
{
    const bool picked = when == "pick";
    std::vector<double> answering, markedOk, markedError, ended;
    for (int i = 0; i < Share(options, 3, 10, 2); ++i) {
        WritePortSetting(kPortSettingName, picked ? 0 : 5);
        auto outage = std::make_unique<Outage>(kBenchModem, kPairA);
        if (!outage->Gone())
            break;
        RemoteProgram program(remote);
        if (picked) {
            program.PostKey('6');
            DismissMessageBox(5000);
        }
        if (i == 0 && !picked)
            IdleCpu(report, program, "CPU while retrying", options);
        else
            Sleep(std::uniform_int_distribution<int>(300, 1300)(g_random));
        outage.reset();
        Peer back(kPairA, "", Peer::kPairJustBack);
        const Return times = TimeReturn(back, [&] { return program.Item(5) == L"COM5: - OK"; });
        answering.push_back(times.answering);
        markedOk.push_back(times.shown);
        if (picked)
            continue;

        back.Hangup();
        Outage again(kBenchModem, kPairA);
        if (times.shown >= 0)
            markedError.push_back(
                TimeUntil([&] { return program.Item(5) == L"COM5: - Error"; }, 3000));
        Sleep(std::uniform_int_distribution<int>(300, 1300)(g_random));
        const double closed = NowMs();
        PostMessageW(program.Window(), WM_COMMAND, IDOK, 0);
        ended.push_back(program.Process().WaitForExit(5000) == 0 ? NowMs() - closed : -1);
    }
    const std::string absent = "device absent at " + when + ", then there: ";
    AddSpread(report, absent + "answering after", answering, "-1: not within 6 s");
    AddSpread(report, absent + "marked OK after", markedOk, "-1: not within 6 s");
    if (picked)
        return;
    AddSpread(report, "device cut to port marked Error", markedError, "-1: not within 3 s");
    AddSpread(report, "close while retrying to program ended", ended);
}

// The link's accessory side, in the demo accessory: back-to-back picks,
// each answered at once by this phone, timed to the next submenu.
void AccessoryPicks(Report& report, const Options& options)
{
    Peer phone(kPairA, "OK\r");
    Child demo(options.bin + L"accessory-demo.exe", L"COM5:", true);
    phone.WaitForLines(3, 10000);
    Sleep(1500);
    std::vector<double> picks;
    // Cheap, so many: enough for a change in the hand-over's wait to stand out
    // on this figure alone.
    for (int i = 0; i < Share(options, 20, 40); ++i) {
        phone.Forget();
        const double start = NowMs();
        phone.Send("*EAMI: 1\r");
        if (phone.WaitForLines(1, 5000))
            picks.push_back(phone.LastArrivalMs() - start);
    }
    AddSpread(report, "accessory pick to the next submenu", picks);
}

bool ParseOptions(int argc, wchar_t** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--quick")
            options->quick = true;
        else if (arg == L"--bin" && i + 1 < argc)
            options->bin = std::wstring(argv[++i]) + L"\\";
        else if (arg == L"--label" && i + 1 < argc)
            options->label = std::string(argv[i + 1], argv[i + 1] + wcslen(argv[i + 1])), ++i;
        else if (arg == L"--out" && i + 1 < argc)
            options->out = argv[++i];
        else if (arg == L"--rounds" && i + 1 < argc)
            options->rounds = _wtoi(argv[++i]);
        else if (arg == L"--round" && i + 1 < argc)
            options->round = _wtoi(argv[++i]);
        else
            return false;
    }
    return !options->out.empty() && options->rounds >= 1 && options->round >= 1 &&
           options->round <= options->rounds;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: bench.exe [--quick] [--bin DIR] [--label NAME] [--rounds R --round K] "
                        "--out FILE\n");
        return 2;
    }
    Report report(options);

    const std::wstring remote = options.bin + L"remote.exe";
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    GetFileAttributesExW(remote.c_str(), GetFileExInfoStandard, &file);
    AddExact(report, "remote.exe size", file.nFileSizeLow / 1024.0, "KB", "its kind: tens of KB");

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
    WritePortSetting(kPortSettingName, 5);
    std::vector<double> startUps;
    for (int i = 0; i < Repetitions(options); ++i) {
        Peer peer(kPairA);
        const double start = NowMs();
        RemoteProgram program(remote);
        if (Eventually([&] { return program.Items().size() == 20; }, 10000))
            startUps.push_back(NowMs() - start);
    }
    AddSpread(report, "start to list shown", startUps);
    {
        Peer peer(kPairA);
        RemoteProgram program(remote);
        Eventually([&] { return program.Items().size() == 20; }, 10000);
        PortMode(report, program, peer, options);
        MenuMode(report, program, peer, options);
        DeviceReturns(report, peer, program, options);
    }
    DeviceAbsent(report, remote, options, "start");
    DeviceAbsent(report, remote, options, "pick");
    const std::string line = Submenu("Title", 20);
    const std::wstring wide(line.begin(), line.end() - 1);
    for (const RefillStep& step : ProfileRefill(wide.c_str(), Share(options, 20, 100)))
        report.Add({std::string("bare-window refill, this build's list: ") + step.name, "ms",
                    step.ms, Spread::kGauge, ""});
    AccessoryPicks(report, options);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane");
    report.Write(options);
    return 0;
}
