// The program end to end: remote.exe on one end of the null-modem, a
// scripted peer on the other, keys delivered to its list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce/stream_device.h"
#include "settings/port_setting.h"
#include "tests/support/remote_program.h"
#include "tests/support/scripted_phone.h"

namespace {

using Texts = std::vector<std::wstring>;

Texts Ports(int marked = -1, const wchar_t* suffix = L"")
{
    Texts entries;
    for (int port = 0; port < 20; ++port) {
        std::wstring entry = (port < 10 ? L"COM" : L"BSP") + std::to_wstring(port % 10) + L":";
        entries.push_back(port == marked ? entry + suffix : entry);
    }
    return entries;
}

class Program : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvane"); }
};

// The program connected to COM5:, with the test as the accessory on COM6.
class ConnectedProgram : public Program {
protected:
    void SetUp() override
    {
        Program::SetUp();
        ASSERT_TRUE(peer.IsOpen());
        WritePortSetting(kPortSettingName, 5);
        program.reset(new RemoteProgram);
        ASSERT_TRUE(program->Window());
        ASSERT_EQ("OK\r", Exchange("AT\r"));
    }

    // What the program writes back for `bytes`, once the line is quiet.
    std::string Exchange(const std::string& bytes)
    {
        peer.Forget();
        peer.Send(bytes);
        Sleep(700);  // the program reads within 100 ms of a 200 ms pause
        return peer.Received();
    }

    ScriptedPhone peer{kPairA, ScriptedPhone::kSilent};
    std::unique_ptr<RemoteProgram> program;
};

TEST_F(ConnectedProgram, AnswersEveryNonEmptyLineOnceWithOk)
{
    EXPECT_EQ("OK\rOK\r", Exchange("AT\r\r\rATI\r\n"));
    EXPECT_EQ("", Exchange("\r\r\n"));
    EXPECT_EQ("OK\r", Exchange("*EAMI: 1\r"));
    EXPECT_EQ(Ports(5, L" - OK"), program->Items());
}

TEST_F(ConnectedProgram, EntryNameTitlesTheListAndKeepsItsItems)
{
    EXPECT_EQ("OK\r", Exchange("AT*EAM=\"Slides\"\r\r"));
    EXPECT_TRUE(program->HeaderShown());
    EXPECT_EQ(L"Slides", program->Title());
    EXPECT_EQ(Ports(5, L" - OK"), program->Items());

    EXPECT_EQ("OK\r", Exchange("AT*EAM=\"\"\r"));
    EXPECT_FALSE(program->HeaderShown());
    EXPECT_EQ(Ports(5, L" - OK"), program->Items());
}

TEST_F(ConnectedProgram, SubmenuReplacesThePortsAndPicksGoBack)
{
    EXPECT_EQ("OK\r", Exchange("AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1\r"));
    EXPECT_EQ(L"Show", program->Title());
    EXPECT_EQ(Texts({L"Next", L"Back"}), program->Items());
    EXPECT_EQ(0, program->Selected());

    peer.Forget();
    program->Key(VK_RETURN);
    program->Key('2');
    ASSERT_TRUE(peer.WaitForLines(2, 2000));
    EXPECT_EQ("*EAMI: 1\r*EAMI: 2\r", peer.Received());

    EXPECT_EQ("OK\r", Exchange("AT*EASM=\"Two\",1,1,1,\"Only\",1\r"));
    EXPECT_EQ(L"Two", program->Title());
    EXPECT_EQ(Texts({L"Only"}), program->Items());
    // A digit beyond the items picks nothing.
    peer.Forget();
    program->Key('2');
    EXPECT_EQ("", Exchange(""));
}

TEST_F(ConnectedProgram, LongAndEightBitLinesAreShownAsFarAsTheyFit)
{
    const std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
    EXPECT_EQ("OK\r", Exchange("AT*EASM=\"Long\",1,1,3,\"" + a + "\",\"" + b + "\",\"" + c +
                               "\",1\r"));
    // 259 characters of the line are kept: the third item's end is cut off,
    // and each shown text is cut to the list's 63.
    EXPECT_EQ(L"Long", program->Title());
    EXPECT_EQ(Texts({std::wstring(63, L'a'), std::wstring(63, L'b')}), program->Items());

    EXPECT_EQ("OK\r", Exchange("AT*EASM=\"Caf\xE9\",1,1,1,\"\xC4pfel\",1\r"));
    EXPECT_EQ(L"Caf\x00E9", program->Title());
    EXPECT_EQ(Texts({L"\x00C4pfel"}), program->Items());
}

TEST_F(Program, PickingAPortAsksFirstThenConnects)
{
    PeerPort peer(kPairA);
    RemoteProgram program;
    ASSERT_TRUE(program.Window());
    EXPECT_EQ(Ports(0, L" - Error"), program.Items());
    EXPECT_TRUE(program.HeaderShown());
    EXPECT_EQ(L"Select Port...", program.Title());
    EXPECT_EQ(0, program.Selected());

    program.PostKey('6');  // COM5:
    const HWND box = WaitForMessageBox(5000);
    ASSERT_TRUE(box);
    EXPECT_EQ(L"Using COM5: for connections.", MessageBoxText(box));
    // Nothing changes until the box is dismissed.
    Sleep(300);
    EXPECT_EQ(0, ReadPortSetting(kPortSettingName));
    DismissMessageBox(box);

    EXPECT_TRUE(program.WaitForItems(Ports(5, L" - OK"), 5000));
    EXPECT_EQ(5, ReadPortSetting(kPortSettingName));
    ASSERT_TRUE(peer.Write("AT\r"));
    EXPECT_EQ("OK\r", peer.Read(3, 2000));
}

TEST_F(Program, PortsThatCannotBeUsedAreMarkedError)
{
    // COM7 is held open here, COM4 does not exist, COM0 is no port.
    const HANDLE held = OpenStreamDevice(L"\\\\.\\COM7");
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RemoteProgram program;
    ASSERT_TRUE(program.Window());
    struct {
        WPARAM key;
        int port;
        const wchar_t* message;
        int stored;
    } const cases[] = {
        {'8', 7, L"Using COM7: for connections.", 7},
        {'5', 4, L"Using COM4: for connections.", 4},
        {'1', 0, L"Using COM0: for connections.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        program.PostKey(c.key);
        const HWND box = WaitForMessageBox(5000);
        ASSERT_TRUE(box);
        EXPECT_EQ(c.message, MessageBoxText(box));
        DismissMessageBox(box);
        EXPECT_TRUE(program.WaitForItems(Ports(c.port, L" - Error"), 5000))
            << testing::PrintToString(program.Items());
        EXPECT_EQ(c.stored, ReadPortSetting(kPortSettingName));
    }
    CloseStreamDevice(held);
}

TEST_F(Program, SecondCopyBringsTheFirstForwardAndEnds)
{
    RemoteProgram first;
    ASSERT_TRUE(first.Window());
    ChildProcess second(L"remote.exe", L"", ChildProcess::kNone);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(0, second.WaitForExit(10000));
    EXPECT_EQ(1, ProgramWindowCount());
    EXPECT_EQ(first.Window(), GetForegroundWindow());
}

TEST_F(Program, MenuBarSitsBelowTheWindowAndItsCommandsWork)
{
    RemoteProgram program;
    ASSERT_TRUE(program.Window());
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
    const HWND box = WaitForMessageBox(5000);
    ASSERT_TRUE(box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"Tarvane Remote"));
    DismissMessageBox(box);

    // Only the exact command closes.
    SendMessageW(program.Window(), WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
    EXPECT_EQ(-1, program.Process().WaitForExit(500));

    program.PostKey(VK_F1);  // the left soft key: Close
    EXPECT_EQ(0, program.Process().WaitForExit(5000));
}

TEST_F(Program, CloseButtonEndsWithExitCodeZero)
{
    RemoteProgram program;
    ASSERT_TRUE(program.Window());
    const HWND bar = FindWindowW(L"HandheldMenuBar", nullptr);
    ASSERT_TRUE(bar);
    SendMessageW(GetDlgItem(bar, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(0, program.Process().WaitForExit(5000));
}

}  // namespace
