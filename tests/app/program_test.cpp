// The program end to end: remote.exe on one end of the null-modem, the test
// as the accessory on the other, keys delivered to its list.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string.h>
#include <thread>

#include "ce/stream_device.h"
#include "settings/port_setting.h"
#include "testbed/peer.h"
#include "testbed/remote_program.h"
#include "testbed/wait.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\Tarvane\\Velorine\\ZezevevedArivez";

// Everything the program answers to `bytes`. It answers its lines one at a
// time, in order, so once a question sent after them has its answer, theirs
// have all come: no quiet spell to wait out. The question's leading CR ends
// a line that the bytes leave open, as a pause would.
std::string AnswersTo(Peer& peer, const std::string& bytes)
{
    const std::string question = "AT+CSCS=?\r";
    const std::string answer = "+CSCS: (\"UTF-8\",\"8859-1\",\"IRA\",\"UCS2\")\rOK\r";
    peer.Forget();
    peer.Send(bytes + "\r" + question);
    peer.WaitForText(answer, Occurrences(bytes, question) + 1, 5000);
    std::string answers = peer.Received();
    if (answers.size() >= answer.size() &&
        answers.compare(answers.size() - answer.size(), answer.size(), answer) == 0)
        answers.resize(answers.size() - answer.size());
    return answers;
}

class Program : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }
};

// The program connected to `pair`, with the test as the accessory.
class Connected : public Program {
protected:
    void Connect(const NullModemPair& pair, int port)
    {
        peer.reset(new Peer(pair));
        ASSERT_TRUE(peer->IsOpen());
        WritePortSetting(kPortSettingName, port);
        program.reset(new RemoteProgram);
        ASSERT_TRUE(program->Window());
        ASSERT_EQ("OK\r", AnswersTo(*peer, "AT\r"));
    }
    void SetUp() override
    {
        Program::SetUp();
        Connect(kPairA, 5);
    }

    std::unique_ptr<Peer> peer;
    std::unique_ptr<RemoteProgram> program;
};

std::string Oks(size_t count)
{
    std::string oks;
    while (count-- != 0)
        oks += "OK\r";
    return oks;
}

TEST_F(Connected, AnswersEveryLineOnceAndShowsWhatItSays)
{
    const std::string a(100, 'a'), b(100, 'b'), c(100, 'c'), w80(80, 'w');
    const std::wstring w63(63, L'w');
    std::string many = "AT*EASM=\"T\",1,1,20";
    Texts manyItems;
    for (int i = 0; i < 20; ++i) {
        many += ",\"I" + std::to_string(i) + "\"";
        manyItems.push_back(L"I" + std::to_wstring(i));
    }
    const wchar_t* const kPorts = L"Select Port...";
    const struct {
        std::string bytes;
        std::string reply;
        const wchar_t* title;  // null: the header is hidden
        Texts items;
        int selected;
    } cases[] = {
        {"AT\r\r\rATI\r\n", "OK\rOK\r", kPorts, Ports(5, L" - OK"), 0},
        {"\r\r\n", "", kPorts, Ports(5, L" - OK"), 0},
        {"*EAMI: 1\r", "OK\r", kPorts, Ports(5, L" - OK"), 0},
        // The entry name titles the list and keeps its items; an empty one hides it.
        {"AT*EAM=\"Slides\"\r\r", "OK\r", L"Slides", Ports(5, L" - OK"), 0},
        {"AT*EAM=\"\"\r", "OK\r", nullptr, Ports(5, L" - OK"), 0},
        {"AT*EASM=\"Show\",1,2,2,\"Next\",\"Back\",1\r", "OK\r", L"Show", {L"Next", L"Back"}, 1},
        // Submenus that stop early or say odd things.
        {"AT*EASM=\"T\",2,1,2,\"A\",\"B\",1\r", "OK\r", L"T", {}, -1},
        {"AT*EASM=\"U\"\r", "OK\r", L"U", {}, -1},
        {"AT*EASM=\"T\",1,1\r", "OK\r", L"T", {}, -1},
        {"AT*EASM=\"T\",1,1,5,\"A\",\"B\",1\r", "OK\r", L"T", {L"A", L"B"}, 0},
        {"AT*EASM=\"T\",1,2,1,\"A\",\"B\",1\r", "OK\r", L"T", {L"A"}, -1},
        {"AT*EASM=\"T\",1,1,0,1\r", "OK\r", L"T", {}, -1},
        {"AT*EASM=\"T\",1,1,2,\"\",\"B\",1\r", "OK\r", L"T", {L"", L"B"}, 0},
        {"AT*EASM=\"T\",1,0,2,\"A\",\"B\",1\r", "OK\r", L"T", {L"A", L"B"}, -1},
        {"AT*EASM=\"T\", 1, 2, 2,\"A\",\"B\",1\r", "OK\r", L"T", {L"A", L"B"}, 1},
        {"AT*EASM=\"T\",1 ,2,2,\"A\",\"B\",1\r", "OK\r", L"T", {}, -1},
        {many + ",1\r", "OK\r", L"T", manyItems, 0},  // more than fit: a scroll bar
        // Texts are cut to 63, and 259 characters of a line are kept.
        {"AT*EASM=\"" + w80 + "\",1,1,1,\"" + w80 + "\",1\r", "OK\r", w63.c_str(), {w63}, 0},
        {"AT*EASM=\"Unclosed\r", "OK\r", w63.c_str(), {}, -1},  // no title: kept
        {"AT*EASM=\"Long\",1,1,3,\"" + a + "\",\"" + b + "\",\"" + c + "\",1\r", "OK\r",
         L"Long", {std::wstring(63, L'a'), std::wstring(63, L'b')}, 0},
        {"AT*EASM=\"Caf\xE9\",1,1,1,\"\xC4pfel\",1\r", "OK\r", L"Caf\x00E9", {L"\x00C4pfel"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 40)));
        EXPECT_EQ(c.reply, AnswersTo(*peer, c.bytes));
        EXPECT_EQ(c.title != nullptr, program->HeaderShown());
        if (c.title != nullptr) {
            EXPECT_EQ(c.title, program->Title());
        }
        EXPECT_EQ(c.items, program->Items());
        EXPECT_EQ(c.selected, program->Selected());
        // The columns fill the list's width, left of any scroll bar.
        RECT client;
        GetClientRect(program->List(), &client);
        EXPECT_EQ(client.right, SendMessageW(program->List(), LVM_GETCOLUMNWIDTH, 1, 0) +
                                    SendMessageW(program->List(), LVM_GETCOLUMNWIDTH, 2, 0));
    }
}

std::string Hex(const std::string& ascii)  // UCS2's form of ASCII text
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (char c : ascii)
        hex += std::string("00") + kDigits[c >> 4 & 15] + kDigits[c & 15];
    return hex;
}

// The accessory declares the character set of its texts: the phone shows
// them in it, keeps to the last set it knows, and answers questions about it.
TEST_F(Connected, ShowsTextInTheDeclaredCharacterSet)
{
    const std::wstring bad = L"\xFFFD", a60(60, L'A'), b20(20, L'B');
    std::string e63;
    for (int i = 0; i < 63; ++i)
        e63 += "\xC3\xA9";
    const struct {
        std::string bytes;
        std::string reply;
        Texts shown;  // the title, then the items; none: unchanged
    } steps[] = {
        {"AT+CSCS?\r", "+CSCS: \"8859-1\"\rOK\r", {}},
        {"AT*EASM=\"Caf\xE9\",1,1,1,\"\xC4pfel\",1\r", "OK\r", {L"Caf\xE9", L"\xC4pfel"}},
        {"AT+CSCS=\"UTF-8\"\rAT*EASM=\"Caf\xC3\xA9 \xE2\x98\x95\",1,1,3,\"Na\xC3\xAFve\","
         "\"\xE6\x97\xA5\xE6\x9C\xAC\",\"\xF0\x9F\x98\x80\",1\r",
         "OK\rOK\r", {L"Caf\xE9 \x2615", L"Na\xEFve", L"\x65E5\x672C", L"\xD83D\xDE00"}},
        // What is not UTF-8 shows as U+FFFD, and the quotes stay where they are.
        {"AT*EASM=\"T\xE6\x97\",1,1,3,\"\x80\",\"\xC0\xAF\",\"\xED\xA0\x80\xF4\x90\x80\x80\",1\r",
         "OK\r", {L"T" + bad, bad, bad + bad, bad + bad + bad + bad + bad + bad + bad}},
        // Shown characters count, not bytes: 63 in a title, 259 in a line.
        {"AT*EASM=\"" + e63 + "\",1,1,0,1\r", "OK\r", {std::wstring(63, L'\xE9')}},
        {"at+cscs=\"ira\"\rAT*EASM=\"Caf\xE9\",1,1,0,1\r", "OK\rOK\r", {L"Caf" + bad}},
        {"AT+CSCS=\"UCS2\"\rAT*EASM=\"" + Hex(std::string(60, 'A')) + "\",1,1,3,\"" +
             Hex(std::string(20, 'B')) + "\",\"00e9D83DDE00\",\"00G30041004\",1\r",
         "OK\rOK\r", {a60, b20, L"\xE9\xD83D\xDE00", bad + L"A" + bad}},
        // An unknown set leaves the one in use.
        {"AT+CSCS=\"GSM\"\rAT+CSCS?\r", "OK\r+CSCS: \"UCS2\"\rOK\r", {}},
        {"AT+CSCS=?\r", "+CSCS: (\"UTF-8\",\"8859-1\",\"IRA\",\"UCS2\")\rOK\r", {}},
        {"AT*EASM=\"0054\",1,1,0,1\r", "OK\r", {L"T"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::PrintToString(step.bytes.substr(0, 40)));
        EXPECT_EQ(step.reply, AnswersTo(*peer, step.bytes));
        if (!step.shown.empty()) {
            EXPECT_EQ(step.shown[0], program->Title());
            EXPECT_EQ(Texts(step.shown.begin() + 1, step.shown.end()), program->Items());
        }
    }
}

TEST_F(Connected, PicksGoBackToTheAccessory)
{
    AnswersTo(*peer, "AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1\r");
    peer->Forget();
    program->Key(VK_RETURN);
    program->Key('2');
    program->Key('3');  // beyond the items: nothing
    EXPECT_EQ("*EAMI: 1\r*EAMI: 2\r", peer->ReceivedWhenQuiet());
}

// Non-empty lines in a batch of at most 2047 bytes, as the far end frames
// them: NUL and LF dropped, CR ends a line.
size_t LinesIn(const std::string& bytes)
{
    size_t lines = 0, length = 0;
    for (char c : bytes + '\r') {
        if (c == '\r') {
            lines += length != 0;
            length = 0;
        } else if (c != '\0' && c != '\n') {
            ++length;
        }
    }
    return lines;
}

TEST_F(Connected, HostilePeersGetOneAnswerPerLine)
{
    std::string noise, burst;
    for (int i = 0; i < 1500; ++i)
        noise += static_cast<char>((i * 7919 + i / 13) % 256);
    for (int i = 0; i < 30; ++i)
        burst += "AT*EASM=\"Menu " + std::to_string(i) + "\",1,1,2,\"A\",\"B\",1\r";
    const std::string t300(300, 'T'), i64(64, 'I');
    const std::string cases[] = {
        std::string(2046, 'L') + "\r",
        std::string(2047, 'L'),
        noise,
        std::string(1000, '\0') + "AT\r" + std::string(1000, '\n'),
        burst,
        "AT*EASM=\"" + t300 + "\",1,1,2,\"" + i64 + "\",\"" + t300 + "\",1\r",
        "AT*EASM=\"T\",1,1,-1,\"A\",1\rAT*EASM=\"T\",1,1,0,\"A\",1\r",
        "AT*EASM=\"T\",1,1,1000000000,\"A\",\"B\",1\r",
        "AT*EASM=\"T\",1,0,2,\"A\",\"B\",1\rAT*EASM=\"T\",1,-5,2,\"A\",\"B\",1\r",
        "AT*EASM=\"T\",1,99999999999,2,\"A\",\"B\",1\r",
        "AT*EASM=\"T\"\"\",1,1,2,\"A,\"B\r",
        "AT*EASM=\"\rAT*EAM=\"\r\"\"\"\r",
        "*EAMI: 3\r*EAII: 5,2\r*EAMI: -1\r",
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 40)));
        EXPECT_EQ(Oks(LinesIn(bytes)), AnswersTo(*peer, bytes));
        ASSERT_EQ(-1, program->Process().WaitForExit(0));
    }
    EXPECT_EQ(Texts({L"A", L"B"}), (AnswersTo(*peer, burst), program->Items()));
    EXPECT_EQ(L"Menu 29", program->Title());
    peer->Forget();
    program->Key('2');
    EXPECT_EQ("*EAMI: 2\r", peer->ReceivedWhenQuiet());
}

// The device behind the port comes and goes, as a Bluetooth accessory is
// switched on and off: the port's mark, the menu's enabled state and the
// answers follow it, with no action from the user.
struct DeviceStory {
    const char* name;
    bool absentFirst;  // away before the program (or a pick) first opens it
    bool picked;       // the port is picked in the list, not stored
    bool menuMode;     // a submenu is shown when the device goes
};

void PrintTo(const DeviceStory& story, std::ostream* out) { *out << story.name; }

class DeviceComesAndGoes : public Program, public testing::WithParamInterface<DeviceStory> {
protected:
    // While the device is away the program tries it about once a second,
    // and the list says so.
    void ExpectAway()
    {
        if (GetParam().menuMode) {
            EXPECT_TRUE(Eventually([&] { return !IsWindowEnabled(program->List()); }, 3000));
            EXPECT_EQ(Texts({L"A", L"B"}), program->Items());
        } else {
            EXPECT_TRUE(program->WaitForItems(Ports(3, L" - Error"), 3000));
        }
        // No more wake-ups than a try each 100 ms poll would make, counted:
        // a loop that naps 1 ms makes a thousand a second.
        const long long wakeUps = program->WakeUps();
        Sleep(2000);
        ASSERT_GE(wakeUps, 0);
        EXPECT_LT(program->WakeUps() - wakeUps, 60) << "it spins while the device is away";
    }
    // Back: open again by itself, saying nothing of its own, and answering.
    void ExpectBack()
    {
        outage.reset();
        peer.reset(new Peer(kVanishingPair, "", Peer::kPairJustBack));
        ASSERT_TRUE(peer->IsOpen());
        if (GetParam().menuMode)
            EXPECT_TRUE(Eventually([&] { return IsWindowEnabled(program->List()); }, 3000));
        else
            EXPECT_TRUE(program->WaitForItems(Ports(3, L" - OK"), 3000));
        EXPECT_EQ("", peer->ReceivedWhenQuiet(500));
        EXPECT_EQ("OK\r", AnswersTo(*peer, "AT\r"));
    }

    std::unique_ptr<Peer> peer;
    std::unique_ptr<Outage> outage;
    std::unique_ptr<RemoteProgram> program;
};

TEST_P(DeviceComesAndGoes, TheRemoteFollowsTheDevice)
{
    const DeviceStory& story = GetParam();
    if (story.absentFirst) {
        outage.reset(new Outage(kTestModem, kVanishingPair));
        ASSERT_TRUE(outage->Gone());
    } else {
        peer.reset(new Peer(kVanishingPair));
    }
    WritePortSetting(kPortSettingName, story.picked ? 0 : 3);
    program.reset(new RemoteProgram);
    ASSERT_TRUE(program->Window());
    if (story.picked) {
        program->PostKey('4');  // COM3:
        EXPECT_EQ(L"Using COM3: for connections.", DismissMessageBox(5000));
    }
    if (story.absentFirst) {
        ExpectAway();
        ExpectBack();
        return;
    }

    ASSERT_EQ("OK\r", AnswersTo(*peer, "AT\r"));
    if (story.menuMode)
        AnswersTo(*peer, "AT+CSCS=\"UTF-8\"\rAT*EASM=\"Show\",1,1,2,\"A\",\"B\",1\r");
    else
        program->Key(VK_DOWN);  // the selection moves to COM1: and stays there
    peer->Hangup();
    outage.reset(new Outage(kTestModem, kVanishingPair));
    ASSERT_TRUE(outage->Gone());
    ExpectAway();
    if (story.menuMode) {
        program->Key('1');  // dropped, not sent once the device is back
        // The soft keys still reach the window: About, then Close at the end.
        EXPECT_TRUE(program->KeyAtFocus(VK_F2));
        EXPECT_NE(std::wstring::npos, DismissMessageBox(5000).find(L"Tarvane Remote"));
    }
    ExpectBack();
    EXPECT_EQ(story.menuMode ? 0 : 1, program->Selected());
    if (story.menuMode) {
        // The character set the accessory declared still holds.
        AnswersTo(*peer, "AT*EASM=\"Show\",1,1,2,\"A\",\"Caf\xC3\xA9\",1\r");
        EXPECT_EQ(Texts({L"A", L"Caf\xE9"}), program->Items());
        peer->Forget();
        program->Key('2');
        EXPECT_EQ("*EAMI: 2\r", peer->ReceivedWhenQuiet());
    }
    EXPECT_TRUE(program->KeyAtFocus(VK_F1));
    EXPECT_EQ(0, program->Process().WaitForExit(5000));
}

const DeviceStory kDeviceStories[] = {
    {"AbsentAtStartThenThere", true, false, false},
    {"PickedWhileAbsentThenThere", true, true, false},
    {"GoneAndBackInPortMode", false, false, false},
    {"GoneAndBackInMenuMode", false, false, true},
};
INSTANTIATE_TEST_SUITE_P(, DeviceComesAndGoes, testing::ValuesIn(kDeviceStories),
                         [](const testing::TestParamInfo<DeviceStory>& info) {
                             return std::string(info.param.name);
                         });

// The user switches ports while lines flow: the old link's reader is busy
// handing lines to the window as it is closed.
TEST_F(Connected, PortSwitchWhileLinesFlow)
{
    Peer next(kPairB, "");
    std::atomic<bool> flowing{true};
    std::thread flood([&] {
        while (flowing) {
            peer->Send("AT\rAT+CMER=3,2,0,0,0\r");
            Sleep(5);
        }
    });
    for (int round = 0; round < 3; ++round) {
        program->PostKey(round % 2 == 0 ? '8' : '6');  // COM7:, then back to COM5:
        EXPECT_NE(L"", DismissMessageBox(5000));
        const int port = round % 2 == 0 ? 7 : 5;
        EXPECT_TRUE(program->WaitForItems(Ports(port, L" - OK"), 5000)) << round;
    }
    flowing = false;
    flood.join();
    EXPECT_EQ("OK\r", AnswersTo(next, "AT\r"));
    EXPECT_EQ(-1, program->Process().WaitForExit(0));
}

// While it lives, the tty behind `device` stops its output at the far
// end's XOFF: its own setting, which a program keeps as it opens the device.
struct OutputFlowControl {
    explicit OutputFlowControl(const wchar_t* device) : device(device) { set = Set(true); }
    ~OutputFlowControl() { Set(false); }
    bool Set(bool on) const
    {
        const HANDLE port = CreateFileW(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        DCB settings = {};
        settings.DCBlength = sizeof settings;
        const bool done = port != INVALID_HANDLE_VALUE && GetCommState(port, &settings) &&
                          (settings.fOutX = on, SetCommState(port, &settings));
        if (port != INVALID_HANDLE_VALUE)
            CloseHandle(port);
        return done;
    }
    const wchar_t* device;
    bool set;
};

// The user picks another port while the old one's line is stalled (its
// accessory has stopped the flow, as a Bluetooth link's may) and the old
// link's reader holds lines it has read: none of them reaches the window
// once that link is closed, so the new port's accessory is answered for
// nothing it did not send.
TEST_F(Program, APortPickedWhileTheLineStallsTakesNoLineAlong)
{
    Peer next(kPairB);
    Peer accessory(kPairA);
    const OutputFlowControl flowControl(L"\\\\.\\COM5");
    ASSERT_TRUE(flowControl.set);
    WritePortSetting(kPortSettingName, 5);
    RemoteProgram program;
    ASSERT_TRUE(program.WaitForItems(Ports(5, L" - OK"), 5000));
    ASSERT_EQ("OK\r", AnswersTo(accessory, "AT\r"));
    // XOFF, then lines: each answer waits out its write allowance.
    accessory.Forget();
    accessory.Send("\x13" "AT\rAT\rAT\rAT\rAT\rAT\rAT\rAT\rAT\rAT\r");
    program.PostKey('8');  // COM7:, as the first answers wait
    EXPECT_EQ(L"Using COM7: for connections.", DismissMessageBox(5000));
    EXPECT_TRUE(program.WaitForItems(Ports(7, L" - OK"), 10000));
    EXPECT_EQ("", next.ReceivedWhenQuiet(1500));
    EXPECT_EQ("OK\r", AnswersTo(next, "AT\r"));
    EXPECT_EQ(-1, program.Process().WaitForExit(0));
    EXPECT_EQ("", accessory.ReceivedWhenQuiet(0));  // nothing went while the flow was stopped
}

// Lines from the port being left, while the pick's box is up, are answered
// but change nothing of the port picked: it starts in port mode, with the
// default character set.
TEST_F(Connected, ThePortLeftSaysNothingToThePortPicked)
{
    Peer next(kPairB);
    program->PostKey('8');  // COM7:
    ASSERT_TRUE(Eventually([] { return FindWindowW(L"#32770", L"Remote") != nullptr; }, 5000));
    EXPECT_EQ("OK\rOK\r", AnswersTo(*peer, "AT*EASM=\"Old\",1,1,1,\"X\",1\rAT+CSCS=\"UTF-8\"\r"));
    EXPECT_EQ(L"Using COM7: for connections.", DismissMessageBox(5000));
    EXPECT_TRUE(program->WaitForItems(Ports(7, L" - OK"), 5000));
    EXPECT_EQ("+CSCS: \"8859-1\"\rOK\r", AnswersTo(next, "AT+CSCS?\r"));
}

TEST_F(Program, PickingAPortAsksFirstThenConnects)
{
    Peer peer(kPairA);
    RemoteProgram program;
    ASSERT_TRUE(program.Window());
    EXPECT_EQ(Ports(0, L" - Error"), program.Items());
    EXPECT_TRUE(program.HeaderShown());
    EXPECT_EQ(L"Select Port...", program.Title());
    EXPECT_EQ(0, program.Selected());

    program.PostKey('6');  // COM5:
    // Nothing changes until the box is dismissed.
    ASSERT_TRUE(Eventually([] { return FindWindowW(L"#32770", L"Remote") != nullptr; }, 5000));
    Sleep(300);
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));
    EXPECT_EQ(L"Using COM5: for connections.", DismissMessageBox(5000));
    EXPECT_TRUE(program.WaitForItems(Ports(5, L" - OK"), 5000));
    EXPECT_EQ(5, ReadPortSetting(kPortSettingName));
    EXPECT_EQ("OK\r", AnswersTo(peer, "AT\r"));

    // A pick, even of the same port, forgets the character set declared.
    EXPECT_EQ("OK\r", AnswersTo(peer, "AT+CSCS=\"UTF-8\"\r"));
    program.PostKey('6');
    EXPECT_EQ(L"Using COM5: for connections.", DismissMessageBox(5000));
    EXPECT_TRUE(program.WaitForItems(Ports(5, L" - OK"), 5000));
    EXPECT_EQ("+CSCS: \"8859-1\"\rOK\r", AnswersTo(peer, "AT+CSCS?\r"));
}

TEST_F(Program, PortsThatCannotBeUsedAreMarkedError)
{
    // Stored ports the list does not offer mark nothing.
    for (int stored : {25, -1}) {
        WritePortSetting(kPortSettingName, stored);
        RemoteProgram program;
        EXPECT_EQ(Ports(), program.Items()) << stored;
    }
    // A stored value of another size reads as no port.
    const ULONGLONG wide = 5;
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kPortSettingName, REG_QWORD, &wide, sizeof wide);
    // COM7 is held open here, COM4 does not exist, COM0 is no port.
    const HANDLE held = OpenStreamDevice(L"\\\\.\\COM7");
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RemoteProgram program;
    EXPECT_EQ(Ports(0, L" - Error"), program.Items());
    for (int port : {7, 4, 0}) {
        SCOPED_TRACE(port);
        program.PostKey('1' + port);
        EXPECT_EQ(L"Using COM" + std::to_wstring(port) + L": for connections.",
                  DismissMessageBox(5000));
        EXPECT_TRUE(program.WaitForItems(Ports(port, L" - Error"), 5000));
        EXPECT_EQ(port, ReadPortSetting(kPortSettingName));
    }
    CloseStreamDevice(held);
}

TEST_F(Program, SecondCopiesBringTheFirstForwardAndEnd)
{
    RemoteProgram first;
    ASSERT_TRUE(first.Window());
    for (int copy = 0; copy < 20; ++copy) {
        Child second(L"remote.exe", L"", false);
        EXPECT_EQ(0, second.WaitForExit(10000)) << copy;
    }
    EXPECT_EQ(1, ProgramWindowCount());
    EXPECT_EQ(first.Window(), GetForegroundWindow());
}

TEST_F(Program, MenuBarSitsBelowTheWindowAndItsCommandsWork)
{
    RemoteProgram program;
    const HWND bar = FindWindowW(L"HandheldMenuBar", nullptr);
    ASSERT_TRUE(bar);
    EXPECT_EQ(program.Window(), GetWindow(bar, GW_OWNER));
    RECT frame, barFrame;
    GetWindowRect(program.Window(), &frame);
    GetWindowRect(bar, &barFrame);
    EXPECT_EQ(frame.bottom, barFrame.top);
    EXPECT_EQ(frame.left, barFrame.left);
    EXPECT_EQ(240, frame.right - frame.left);

    // About, by its button, shows the box and leaves the program running.
    SendMessageW(GetDlgItem(bar, 40003), BM_CLICK, 0, 0);
    EXPECT_NE(std::wstring::npos, DismissMessageBox(5000).find(L"Tarvane Remote"));
    // Only the exact command closes.
    SendMessageW(program.Window(), WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
    EXPECT_EQ(-1, program.Process().WaitForExit(500));
    SendMessageW(GetDlgItem(bar, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(0, program.Process().WaitForExit(5000));
}

// While a port pick's box is up, the device of the port being left comes
// back (another opener held it): the list under the box still says it is
// away, as the port picked will have a device state of its own.
TEST_F(Program, TheLeftPortsDeviceChangesNothingDuringAPick)
{
    Peer old(kPairB);
    const HANDLE held = OpenStreamDevice(L"\\\\.\\COM7");
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    WritePortSetting(kPortSettingName, 7);
    RemoteProgram program;
    ASSERT_TRUE(program.WaitForItems(Ports(7, L" - Error"), 5000));
    program.PostKey('6');  // COM5:
    ASSERT_TRUE(Eventually([] { return FindWindowW(L"#32770", L"Remote") != nullptr; }, 5000));
    CloseStreamDevice(held);
    // The old link opens COM7 within a second, then answers: its device's
    // return has reached the window by then.
    old.Send("AT\r");
    EXPECT_TRUE(old.WaitForLines(1, 3000));
    EXPECT_EQ(Ports(7, L" - Error"), program.Items());
    EXPECT_EQ(L"Using COM5: for connections.", DismissMessageBox(5000));
    EXPECT_TRUE(program.WaitForItems(Ports(5, L" - OK"), 5000));
}

}  // namespace
