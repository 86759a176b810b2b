// The serial link over the null-modem: framing, commands and their replies,
// opening and closing, and the accessory side of the menu protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <map>
#include <memory>
#include <string.h>
#include <thread>

#include "ce/stream_device.h"
#include "testbed/peer.h"
#include "testbed/process_figures.h"
#include "testbed/wait.h"
#include "tests/support/device_faults.h"
#include "tests/support/owner.h"

namespace {

using Log = std::vector<std::string>;
using LinkPtr = std::unique_ptr<AccessoryLink>;

LinkPtr OpenLink(const NullModemPair& pair, HWND owner)
{
    LinkPtr link(CreateAccessoryLink(pair.linkDevice, owner, WM_LINK_NOTIFY));
    EXPECT_TRUE(link && link->Open(nullptr) == 1);
    return link;
}

// How long `work` took, in milliseconds.
template <typename Work>
ULONGLONG MsTaken(Work work)
{
    const ULONGLONG start = GetTickCount64();
    work();
    return GetTickCount64() - start;
}

// Whether the device can be claimed again within `ms`: a link that left
// its claim behind keeps the port from every later open in this process.
bool OpensAgainWithin(const wchar_t* device, DWORD ms)
{
    HANDLE opened = INVALID_HANDLE_VALUE;
    const bool opens = Eventually([&] {
        return (opened = OpenStreamDevice(device)) != INVALID_HANDLE_VALUE;
    }, ms);
    if (opens)
        CloseStreamDevice(opened);
    return opens;
}

// The owner's record up to a mark line, sent once `expected` entries are
// there: whatever the bytes sent before it made has reached the owner by
// the time the mark does, with no fixed wait for stragglers. What came after
// the mark (an answer to something sent meanwhile) is left out.
Log RecordUpToMark(Peer& peer, Owner& owner, size_t expected)
{
    owner.WaitFor(expected, 3000);
    peer.Send("MARK\r");
    for (;;) {
        const Log log = owner.Log();
        const auto mark = std::find(log.begin(), log.end(), "line 4 MARK");
        if (mark != log.end())
            return Log(log.begin(), mark);
        if (!owner.WaitFor(log.size() + 1, 3000))
            return log;
    }
}

// The owner empties every line it is lent, which moves no later line.
TEST(Link, CutsBatchesIntoLines)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA);
    Owner owner(Owner::kThisThread, [](WORD code, WORD, LPARAM line) -> LRESULT {
        if (code == LN_LINE)
            reinterpret_cast<char*>(line)[0] = '\0';
        return 1;
    });
    LinkPtr link = OpenLink(kPairA, owner.Window());
    const std::string run(3000, 'x');
    std::string ats;
    for (int i = 0; i < 700; ++i)
        ats += "AT\r";
    const struct {
        std::string bytes;
        Log lines;
    } cases[] = {
        {"OK\r", {"line 2 OK"}},
        {"OK\r\n", {"line 2 OK"}},
        {"AT\rAT+X\r", {"line 2 AT", "line 4 AT+X"}},
        {"\r\r", {}},
        {"ONE\r\n\r\nTWO\r\n", {"line 3 ONE", "line 3 TWO"}},
        {std::string("A\nB\0C\r", 6), {"line 3 ABC"}},
        {"FIRST\rREST", {"line 5 FIRST", "line 4 REST"}},
        {"\xE9t\xE9\r", {"line 3 \xE9t\xE9"}},
        {run, {"line 2047 " + run.substr(0, 2047), "line 953 " + run.substr(2047)}},
        // A burst longer than a batch: no line is cut at the batch's edge.
        {ats, Log(700, "line 2 AT")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 20)));
        owner.ClearLog();
        ASSERT_TRUE(peer.Send(c.bytes));
        EXPECT_EQ(c.lines, RecordUpToMark(peer, owner, c.lines.size()));
    }

    // A complete line goes out as its CR arrives, not once the bytes pause
    // (more than 200 ms): the fastest of five tells, whatever the load.
    ULONGLONG fastest = ULLONG_MAX;
    for (int i = 0; i < 5; ++i) {
        owner.ClearLog();
        fastest = std::min(fastest, MsTaken([&] {
            peer.Send("OK\r");
            EXPECT_TRUE(owner.WaitFor(1, 3000));
        }));
    }
    EXPECT_LT(fastest, 100u);

    // An unfinished line waits for its rest while the bytes keep coming; a
    // pause of more than 200 ms sends it as it stands, also while a write
    // holds the port for longer (a line that does not drain).
    const std::string x2040(2040, 'x');
    const struct {
        std::string first;
        DWORD gapMs;
        std::string rest;
        Log lines;
        bool duringWrite = false;
    } pauses[] = {
        // Either side of the 200 ms pause, with room for this machine's
        // noise (Wine's tick moves in steps of up to 16 ms).
        {"AT", 130, "I\r", {"line 3 ATI"}},
        {"AT", 280, "I\r", {"line 2 AT", "line 1 I"}},
        {"AT", 50, "\r", {"line 2 AT"}},  // a CR arriving alone ends it
        {"AT", 350, "\r", {"line 2 AT"}},  // or ends nothing, once it has gone out
        {"AT\rPA", 350, "RT\r", {"line 2 AT", "line 2 PA", "line 2 RT"}},
        // The rest still joins a line cut where a batch filled the buffer,
        // and a batch that fills it only with the LFs it drops is not full.
        {x2040 + "\rABCDEF", 50, "GH\r", {"line 2040 " + x2040, "line 8 ABCDEFGH"}},
        {std::string(2043, '\n') + "PART", 50, "IAL\r", {"line 7 PARTIAL"}},
        {"AT", 130, "I\r", {"line 3 ATI"}, true},
        {"AT", 300, "I\r", {"line 2 AT", "line 1 I"}, true},
    };
    for (const auto& p : pauses) {
        SCOPED_TRACE(p.first.substr(0, 6) + " " + std::to_string(p.gapMs));
        owner.ClearLog();
        // Held in the recorder: a pty pair whose line stalls may stop the
        // bytes coming back as well.
        std::atomic<bool> writeEnded{false};
        std::thread writer;
        if (p.duringWrite) {
            faults.HoldNextWrite(1200);
            writer = std::thread([&] {
                link->WriteLine("HELD");
                writeEnded = true;
            });
            EXPECT_TRUE(faults.WaitForHeldCall(2000));
        }
        peer.Send(p.first);
        PumpFor(p.gapMs);
        peer.Send(p.rest);
        EXPECT_EQ(p.lines, RecordUpToMark(peer, owner, p.lines.size()));
        if (p.duringWrite) {
            EXPECT_FALSE(writeEnded);  // the lines came while it lasted
            writer.join();
        }
    }

    // An owner that keeps the reader busy past the pause moves no line
    // either: bytes that came meanwhile, 50 ms after the rest, still join
    // their line.
    owner.ClearLog();
    peer.Send("BUSY\rHA");
    Sleep(50);
    peer.Send("LF\r");
    Sleep(300);  // not answering the reader meanwhile
    EXPECT_EQ(Log({"line 4 BUSY", "line 4 HALF"}), RecordUpToMark(peer, owner, 2));
}

// Each line is one write, so a write that fails sends nothing after it, and
// a command whose line did not go ends at once, whatever comes meanwhile. A
// command's reply is a line read after its own line went: not an earlier
// command's late reply, nor a line read just before.
TEST(Link, CommandsPairWithTheirReplies)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA);
    Owner owner(Owner::kOwnThread, LeaveEveryLine);
    LinkPtr link = OpenLink(kPairA, owner.Window());

    EXPECT_EQ(1, link->WriteLine("AT"));
    EXPECT_EQ(1, link->WriteLine(""));
    EXPECT_EQ(Log({"AT\r", "\r"}), faults.Writes());
    ASSERT_TRUE(peer.WaitForLines(2, 2000));
    EXPECT_EQ("AT\r\r", peer.Received());

    const struct {
        const char* reply;     // the peer's answer to each line
        const char* expected;  // what the command waits for
        int result;
        ULONGLONG minMs, maxMs;
    } cases[] = {
        {"OK\r\n", "OK", 1, 0, 900},        {"ERROR\r", "OK", 0, 0, 900},
        {"READY\r", "READY", 1, 0, 900},    {"", "OK", 0, 950, 1500},
        {"OK\r", "", 1, 0, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        peer.SetReply(c.reply);
        peer.Forget();
        owner.ClearLog();
        const ULONGLONG ms =
            MsTaken([&] { EXPECT_EQ(c.result, link->Transact("AT*X", c.expected)); });
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        EXPECT_TRUE(peer.WaitForLines(1, 2000));
        EXPECT_EQ("AT*X\r", peer.Received());
    }
    // The owner is offered the reply first.
    ASSERT_TRUE(owner.WaitFor(1, 2000));
    EXPECT_EQ(Log({"line 2 OK"}), owner.Log());

    // A answered late, after B's line went, and B at once: B's result is
    // its own ERROR, not A's OK.
    peer.SetReply("");
    peer.Forget();
    int late = -1, next = -1;
    ULONGLONG nextMs = 0;
    std::thread commands([&] {
        late = link->SendCommand("AT+A");
        nextMs = MsTaken([&] { next = link->SendCommand("AT+B"); });
    });
    EXPECT_TRUE(peer.WaitForLines(2, 3000));  // A's line, then B's as A gave up
    peer.Send("OK\rERROR\r");
    commands.join();
    EXPECT_EQ(0, late);
    EXPECT_EQ(0, next);
    EXPECT_LT(nextMs, 900u);
    // A line read as a command begins (the reader offers it just then) was
    // sent before the command's line went: not its reply.
    peer.SetReply("OK\r");
    owner.ClearLog();
    peer.Send("ERROR\r");
    ASSERT_TRUE(owner.WaitFor(1, 2000));
    EXPECT_EQ(1, link->SendCommand("AT+C"));

    // One that takes it leaves the command without a reply.
    owner.SetAnswer(TakeEveryLine);
    EXPECT_EQ(0, link->SendCommand("AT"));

    peer.SetReply("");
    peer.Forget();
    faults.FailNextWrite(1);
    EXPECT_EQ(0, link->WriteLine("ATZ"));
    EXPECT_EQ("ATZ\r", faults.Writes().back());
    EXPECT_EQ("A", peer.ReceivedWhenQuiet(300));
    faults.FailNextWrite(0);
    peer.Send("OK\r");  // a stray OK, coming as the command fails to go (the owner takes it)
    EXPECT_LT(MsTaken([&] { EXPECT_EQ(0, link->SendCommand("AT+X")); }), 500u);
    // A line whose write allowance cannot be set does not go.
    const size_t writes = faults.Writes().size();
    faults.FailNextTimeouts();
    EXPECT_EQ(0, link->WriteLine(std::string(100, 'y').c_str()));
    EXPECT_EQ(writes, faults.Writes().size());

    // A caller's own wait, with no command before it, ends with its time
    // (not much sooner), and lets Close through.
    const ULONGLONG waitMs = MsTaken([&] { EXPECT_EQ(0, link->AwaitReply("OK")); });
    EXPECT_GE(waitMs, 950u);
    EXPECT_LT(waitMs, 1500u);
    EXPECT_LT(MsTaken([&] { link->Close(); }), 400u);
    EXPECT_EQ(0, link->WriteLine("AT"));
    EXPECT_EQ(0, link->WriteLine(""));
}

// A line that stops draining (a Bluetooth link whose flow stops) holds a
// write only for what its bytes take at the line's speed (a pty says 38400
// baud: 0.52 s for 2000 bytes) and a margin, and Close no longer than the
// write in progress. Nothing reads the far end here: the ptys and the relay
// between them fill (with 31 to 40 KB), and the line stalls.
TEST(Link, AStalledLineHoldsAWriteOnlyForItsBytesTime)
{
    DeviceFaults faults(kPairA.linkDevice);
    { Peer purge(kPairA); }
    Owner owner(Owner::kOwnThread);
    LinkPtr link = OpenLink(kPairA, owner.Window());
    // Until a line does not go: that one met the line stalled. (A relay
    // held up by the machine's load pauses it too, for a while: the write
    // after a failed one may still go.)
    const std::string line(1999, 'x');
    int lines = 0;
    ULONGLONG writeMs = 0;
    for (int result = 1; result == 1 && lines < 40; ++lines)
        writeMs = MsTaken([&] { result = link->WriteLine(line.c_str()); });
    EXPECT_LT(lines, 40);
    EXPECT_GE(writeMs, 500u);
    EXPECT_LT(writeMs, 1500u);

    ULONGLONG closingWriteMs = 0;
    faults.HoldNextWrite(1);  // says when it begins
    std::thread writer([&] { closingWriteMs = MsTaken([&] { link->WriteLine(line.c_str()); }); });
    EXPECT_TRUE(faults.WaitForHeldCall(2000));
    const ULONGLONG closeMs = MsTaken([&] { link->Close(); });
    writer.join();
    EXPECT_LT(closingWriteMs, 1500u);
    EXPECT_LT(closeMs, 1500u);

    // Nothing left in the line for the next test.
    Peer drain(kPairA, "", Peer::kPairJustBack);
    EXPECT_TRUE(Eventually([&] { return drain.Received().size() >= faults.BytesWritten(); }, 3000));
}

// A command made on the owner's own thread cannot get its reply: the reader
// first offers it to the busy owner. That failed exchange must leave nothing
// behind that a later exchange would take for its own reply.
TEST(Link, FailedExchangeLeavesNoStaleSignals)
{
    Peer peer(kPairA, "OK\r");
    Owner owner(Owner::kThisThread, LeaveEveryLine);
    LinkPtr link = OpenLink(kPairA, owner.Window());
    EXPECT_EQ(0, link->SendCommand("AT1"));
    ASSERT_TRUE(owner.WaitFor(1, 2000));  // the late OK, left to the link

    int result = -1;
    RunPumping([&] { result = link->SendCommand("AT2"); });
    EXPECT_EQ(1, result);  // its OK came: the peer is done with it

    // And a reply that never comes is waited for, not found at once.
    peer.SetReply("");
    ULONGLONG elapsed = 0;
    RunPumping([&] { elapsed = MsTaken([&] { result = link->SendCommand("AT3"); }); });
    EXPECT_EQ(0, result);
    EXPECT_GE(elapsed, 950u);
}

TEST(Link, OpensOnlyWhatItMayAndClosesCleanly)
{
    Owner owner(Owner::kThisThread);
    const size_t threads = ThreadCount(GetCurrentProcessId());
    // A name that fits no device is refused; a missing device is tried
    // again until the link is closed.
    for (const wchar_t* name : {L"COM5:___________", L"COM4:"}) {
        LinkPtr link(CreateAccessoryLink(name, owner.Window(), WM_LINK_NOTIFY));
        EXPECT_EQ(0, link->Open(nullptr));
        EXPECT_EQ(0, link->WriteLine("AT"));
        EXPECT_EQ(0, link->Close());
        EXPECT_EQ(threads, ThreadCount(GetCurrentProcessId()));
    }

    // Held elsewhere (by another of its names): refused, and opened once
    // released, registering as it would have.
    Peer peer(kPairA);
    const HANDLE held = OpenStreamDevice(L"\\\\.\\COM5");
    LinkPtr link(CreateAccessoryLink(kPairA.linkDevice, owner.Window(), WM_LINK_NOTIFY));
    EXPECT_EQ(0, link->Open("Viewer"));
    EXPECT_EQ(0, link->Open("Viewer"));  // it is being tried already
    CloseStreamDevice(held);
    ASSERT_TRUE(owner.WaitFor(1, 3000));
    EXPECT_EQ("device 1", owner.Log().at(0));
    ASSERT_TRUE(peer.WaitForLines(2, 2000));  // the registration ends with two CRs
    EXPECT_EQ("AT*EAM=\"Viewer\"\r\r", peer.Received());
    EXPECT_EQ(0, link->Open(nullptr));  // a second open leaves it working
    peer.Forget();
    EXPECT_EQ(1, link->WriteLine("STILL"));
    ASSERT_TRUE(peer.WaitForLines(1, 2000));

    // Closing an idle link returns once the reader has ended by itself.
    PumpFor(250);
    EXPECT_LT(MsTaken([&] { link->Close(); }), 400u);
    EXPECT_LT(MsTaken([&] { link->Close(); }), 100u);

    // Opened and closed again and again, and every other time deleted open
    // and made anew, it leaves handles and threads flat.
    size_t handlesThen = 0, threadsThen = 0;
    for (int cycle = 0; cycle < 203; ++cycle) {
        if (cycle == 3) {  // after a warm-up
            handlesThen = HandleCount(GetCurrentProcessId());
            threadsThen = ThreadCount(GetCurrentProcessId());
        }
        if (cycle % 2 == 1)
            link.reset(CreateAccessoryLink(kPairA.linkDevice, owner.Window(), WM_LINK_NOTIFY));
        ASSERT_EQ(1, link->Open(nullptr)) << cycle;
        if (cycle % 2 == 1)
            link->Close();
    }
    EXPECT_GT(handlesThen, 0u);
    EXPECT_LE(HandleCount(GetCurrentProcessId()), handlesThen + 2);
    EXPECT_EQ(threadsThen, ThreadCount(GetCurrentProcessId()));

    // A Bluetooth name opens its desktop port.
    owner.ClearLog();
    Peer bluetooth(kBluetoothPair);
    LinkPtr bsp = OpenLink(kBluetoothPair, owner.Window());
    bluetooth.Send("HELLO\r");
    ASSERT_TRUE(owner.WaitFor(1, 3000));
    EXPECT_EQ(Log({"line 5 HELLO"}), owner.Log());
    EXPECT_EQ(1, bsp->WriteLine("HI"));
    ASSERT_TRUE(bluetooth.WaitForLines(1, 2000));
    EXPECT_EQ("HI\r", bluetooth.Received());
}

// The device fails under the reader (the far end hangs up, the link drops):
// writes fail quietly until it is back, the reader opens it again by itself,
// and Close stays prompt while it is away.
TEST(Link, ComesBackWhenTheDeviceDoes)
{
    auto peer = std::make_unique<Peer>(kVanishingPair);
    Owner owner(Owner::kOwnThread);
    LinkPtr link = OpenLink(kVanishingPair, owner.Window());
    peer->Hangup();
    {
        Outage outage(kTestModem, kVanishingPair);
        ASSERT_TRUE(outage.Gone());
        EXPECT_TRUE(Eventually([&] { return link->WriteLine("AT") == 0; }, 2000));
        EXPECT_EQ(0, link->Open(nullptr));  // still open: it waits for the device
        EXPECT_TRUE(owner.WaitFor(1, 2000));
    }
    peer = std::make_unique<Peer>(kVanishingPair, "", Peer::kPairJustBack);
    EXPECT_TRUE(Eventually([&] { return link->WriteLine("BACK") == 1; }, 5000));
    ASSERT_TRUE(peer->WaitForLines(1, 2000));
    EXPECT_EQ("BACK\r", peer->Received());
    peer->Send("HELLO\r");
    ASSERT_TRUE(owner.WaitFor(3, 2000));
    EXPECT_EQ(Log({"device 0", "device 1", "line 5 HELLO"}), owner.Log());

    peer->Hangup();
    Outage again(kTestModem, kVanishingPair);
    ASSERT_TRUE(again.Gone());
    Sleep(300);
    EXPECT_LT(MsTaken([&] { link->Close(); }), 400u);
}

// A read that fails keeps what it read, and the unfinished line reaches the
// owner as the device goes; what the reader had not finished when the link
// closed stays with it.
TEST(Link, ReadFaultsLoseNothing)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA);
    Owner owner(Owner::kOwnThread);
    LinkPtr link = OpenLink(kPairA, owner.Window());
    const struct {
        std::string first, rest;
        DWORD failingRead;  // the size of the read that fails; 0: the link closes and opens
        Log lines;
    } reads[] = {
        {"HE", "LLO\rNEXT", 2, {"line 5 HELLO", "line 4 NEXT", "device 0", "device 1"}},
        {"PART", "", 1, {"line 4 PART", "device 0", "device 1"}},
        {"PART", "AT\r", 0, {"line 2 AT"}},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(r.failingRead);
        owner.ClearLog();
        const size_t before = faults.BytesRead();
        peer.Send(r.first);
        ASSERT_TRUE(Eventually([&] { return faults.BytesRead() == before + r.first.size(); }, 1000));
        if (r.failingRead != 0) {
            faults.FailNextRead(r.failingRead);
        } else {
            link->Close();
            ASSERT_EQ(1, link->Open(nullptr));
        }
        peer.Send(r.rest);
        EXPECT_EQ(r.lines, RecordUpToMark(peer, owner, r.lines.size()));
    }
}

// A device that is away is tried about once a second: not more often, and
// not less, so that it opens within a second of its return. A reader inside
// an open that lasts (a Bluetooth port connecting) is not ended by force as
// the link closes, which would keep the device claimed for good: Close
// returns at once, and the open finishes and lets the device go.
TEST(Link, AnAbsentDeviceIsTriedOnceASecondAndItsOpenNeverForced)
{
    DeviceFaults faults(kPairA.linkDevice);
    Owner owner(Owner::kOwnThread);
    LinkPtr link(CreateAccessoryLink(kPairA.linkDevice, owner.Window(), WM_LINK_NOTIFY));
    faults.FailOpens(true);
    EXPECT_EQ(0, link->Open(nullptr));
    faults.FailOpens(false);  // back, and slow to connect
    faults.HoldNextOpen(2300);
    ASSERT_TRUE(faults.WaitForHeldCall(3000));
    const std::vector<double> opens = faults.OpenTimes();
    ASSERT_EQ(2u, opens.size());
    // Wine's tick moves in steps of up to 16 ms; the upper side has room
    // for this machine's load.
    EXPECT_GE(opens[1] - opens[0], 980.0);
    EXPECT_LT(opens[1] - opens[0], 1400.0);

    EXPECT_LT(MsTaken([&] { link->Close(); }), 300u);
    EXPECT_TRUE(OpensAgainWithin(kPairA.linkDevice, 4000));
}

// A reader held up in a write as the link closes (a line that does not
// drain) finishes the write and ends by itself: ended by force there, it
// would leave the port locked, and Close waiting for it for ever. Out of
// the write it gets its checks afresh, so a reader busy after a long write
// (here answering its owner) is not ended by force the moment it leaves the
// port, nor one that is just ending: the write ends just before Close's
// checks run out, and long after.
TEST(Link, CloseLetsAWriteInProgressEnd)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA);
    std::atomic<bool> answered{false};
    Owner owner(Owner::kOwnThread, [&answered](WORD code, WORD, LPARAM line) -> LRESULT {
        if (code == LN_LINE && strcmp(reinterpret_cast<const char*>(line), "BUSY") == 0) {
            Sleep(700);
            answered = true;
            return 1;
        }
        return code == LN_MENU_EXISTS;
    });
    // One batch: the reader answers the pick with a submenu, then hands BUSY
    // to its owner.
    const std::string batch = "*EAMI: 1\rBUSY\r";
    size_t lines = 0;
    for (const DWORD holdMs : {1800u, 3000u}) {
        SCOPED_TRACE(holdMs);
        answered = false;
        LinkPtr link = OpenLink(kPairA, owner.Window());
        faults.HoldNextWrite(holdMs);
        const size_t before = faults.BytesRead();
        peer.Send(batch);
        ASSERT_TRUE(faults.WaitForHeldCall(2000));
        ASSERT_EQ(before + batch.size(), faults.BytesRead());
        EXPECT_LT(MsTaken([&] { link->Close(); }), 6000u);
        EXPECT_TRUE(answered);
        ASSERT_TRUE(peer.WaitForLines(++lines, 2000));
        EXPECT_EQ("AT*EASM=\"\",1,1,0,1", peer.ReceivedLines().back());
    }
}

// The owner's thread closes the link while the reader is blocked sending it
// a line (a line arriving as the user switches ports). The line is answered
// during Close, never delivered later from a link that no longer exists.
TEST(Link, CloseOnOwnerThreadAnswersThePendingLine)
{
    Peer peer(kPairA);
    Owner owner(Owner::kThisThread);
    LinkPtr link = OpenLink(kPairA, owner.Window());
    peer.Send("LATE\r");
    // Nothing signals that the reader is blocked sending, and asking the
    // queue would let the message through, so give it time.
    Sleep(1000);
    ASSERT_TRUE(owner.Log().empty());
    EXPECT_LT(MsTaken([&] { link->Close(); }), 1500u);  // ended by itself, not forced after 2 s
    link.reset();
    PumpFor(500);
    EXPECT_EQ(Log({"line 4 LATE"}), owner.Log());
}

// A reader that cannot end (its owner's thread is stuck answering it) is
// left to end by itself, after the four checks and not before. Once its
// owner lets it go, it hands on nothing more of its batch, lets the device
// go and ends, with the link long gone.
TEST(Link, CloseForcesAStuckReaderAfterTwoSeconds)
{
    Peer peer(kPairA);
    const size_t threads = ThreadCount(GetCurrentProcessId());
    const HANDLE answering = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Owner owner(Owner::kOwnThread, [answering](WORD, WORD, LPARAM) -> LRESULT {
        SetEvent(answering);
        Sleep(3000);
        return 1;
    });
    LinkPtr link = OpenLink(kPairA, owner.Window());
    peer.Send("STUCK\rAFTER\r");
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(answering, 3000));
    const ULONGLONG closeMs = MsTaken([&] { link->Close(); });
    EXPECT_GE(closeMs, 1950u);
    EXPECT_LT(closeMs, 2900u);
    link.reset();
    EXPECT_TRUE(Eventually([&] { return ThreadCount(GetCurrentProcessId()) == threads + 1; }, 3000));
    EXPECT_TRUE(OpensAgainWithin(kPairA.linkDevice, 2000));
    EXPECT_EQ(Log({"line 5 STUCK"}), owner.Log());
    CloseHandle(answering);
}

// A reader that closes its device as the link closes (a close that drains
// what is still to go; also the close after a device whose timeouts could
// not be set) is left to finish it: ended there, it would keep the device
// claimed, and the port would never open again in this process.
TEST(Link, ADeviceClosingAsTheLinkClosesIsLetGo)
{
    for (const bool timeoutsFail : {false, true}) {
        SCOPED_TRACE(timeoutsFail ? "its timeouts failed" : "it dropped");
        DeviceFaults faults(kPairA.linkDevice);
        Peer peer(kPairA);
        Owner owner(Owner::kOwnThread);
        LinkPtr link = OpenLink(kPairA, owner.Window());
        faults.FailOpens(timeoutsFail);
        if (!timeoutsFail)
            faults.HoldNextClose(3000);
        faults.FailNextRead(1);  // the next read, with or without bytes
        if (timeoutsFail) {
            ASSERT_TRUE(owner.WaitFor(1, 2000));  // the device went
            faults.FailNextTimeouts();  // as the device comes back
            faults.HoldNextClose(3000);
            faults.FailOpens(false);
        }
        ASSERT_TRUE(faults.WaitForHeldCall(3000));
        EXPECT_LT(MsTaken([&] { link->Close(); }), 300u);
        link.reset();
        EXPECT_TRUE(OpensAgainWithin(kPairA.linkDevice, 5000));
    }
}

// The owner's thread closes the link while a third thread's command waits
// for a reply that the reader must first hand to that owner: Close answers
// it, the command takes its reply, and neither waits out a second.
TEST(Link, CloseOnTheOwnersThreadLetsACommandTakeItsReply)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA, "OK\r");
    Owner owner(Owner::kThisThread, LeaveEveryLine);
    LinkPtr link = OpenLink(kPairA, owner.Window());
    int result = -1;
    ULONGLONG commandMs = 0;
    std::thread command([&] { commandMs = MsTaken([&] { result = link->SendCommand("AT+C"); }); });
    // The OK is read, and waits for this thread to take it.
    ASSERT_TRUE(Eventually([&] { return faults.BytesRead() >= 3; }, 2000));
    EXPECT_LT(MsTaken([&] { link->Close(); }), 500u);
    command.join();
    EXPECT_EQ(1, result);
    EXPECT_LT(commandMs, 900u);

    // Made inside one of its own notifications, where it must not be, Close
    // still returns, after its bound, though it waits for itself.
    ASSERT_EQ(1, link->Open(nullptr));
    owner.ClearLog();
    owner.SetAnswer([&](WORD code, WORD, LPARAM) -> LRESULT {
        if (code == LN_LINE) {
            EXPECT_LT(MsTaken([&] { link->Close(); }), 5000u);
        }
        return 1;
    });
    peer.Send("CLOSE\r");
    EXPECT_TRUE(owner.WaitFor(1, 8000));
}

// Replies belong to their own command and their own device's session: an
// information line's command owes its final result code too, and a drop
// ends the wait of a command whose reply went with the old device, before
// the phone's OK to the registration sent as the device returns can pass
// for it.
TEST(Link, RepliesBelongToTheirCommandAndSession)
{
    DeviceFaults faults(kPairA.linkDevice);
    Peer peer(kPairA, "OK\r");
    Owner owner(Owner::kOwnThread, LeaveEveryLine);
    LinkPtr link(CreateAccessoryLink(kPairA.linkDevice, owner.Window(), WM_LINK_NOTIFY));
    ASSERT_EQ(1, link->Open("Viewer"));

    // No expected reply at all is none to wait for.
    peer.Forget();
    EXPECT_EQ(1, link->Transact("AT", nullptr));
    ASSERT_TRUE(peer.WaitForLines(1, 2000));
    peer.ReceivedWhenQuiet(300);

    // The phone answers the question with its information line, and its OK
    // only once the next command has gone; that command's own is ERROR.
    peer.SetReply("");
    peer.Forget();
    std::thread answers([&] {
        peer.WaitForText("AT+CSCS?\r", 1, 2000);
        peer.Send("+CSCS: \"UTF-8\"\r");
        peer.WaitForText("AT+X\r", 1, 2000);
        peer.Send("OK\rERROR\r");
    });
    EXPECT_EQ(1, link->Transact("AT+CSCS?", "+CSCS: \"UTF-8\""));
    EXPECT_EQ(0, link->SendCommand("AT+X"));
    answers.join();

    // A command waits, unanswered, as the device drops and returns.
    peer.Forget();
    int result = -1;
    double ended = 0;
    std::thread waiting([&] {
        result = link->SendCommand("AT+WAIT");
        ended = NowMs();
    });
    ASSERT_TRUE(peer.WaitForLines(1, 2000));
    peer.SetReply("OK\r");
    const double dropped = NowMs();
    faults.FailNextRead(1);
    waiting.join();
    EXPECT_EQ(0, result);
    EXPECT_LT(ended - dropped, 500.0);
    EXPECT_TRUE(peer.WaitForText("AT*EAM=\"Viewer\"\r", 1, 3000));
    peer.SetReply("ERROR\r");
    EXPECT_EQ(0, link->SendCommand("AT+NEXT"));
    peer.SetReply("OK\r");
    EXPECT_EQ(1, link->SendCommand("AT+LAST"));

    // A command whose line fails as its device drops leaves no wait open
    // for the next to find: a caller's own wait then waits its second.
    peer.SetReply("");
    peer.Forget();
    faults.HoldNextWrite(800);
    faults.FailNextWrite(0);
    std::thread lost([&] { EXPECT_EQ(0, link->SendCommand("AT+LOST")); });
    ASSERT_TRUE(faults.WaitForHeldCall(2000));
    faults.FailNextRead(1);
    lost.join();
    EXPECT_TRUE(peer.WaitForText("AT*EAM=\"Viewer\"\r", 1, 3000));  // back
    EXPECT_GE(MsTaken([&] { EXPECT_EQ(0, link->AwaitReply("OK")); }), 950u);
}

struct Menu {
    const char* title;  // null: the owner gives no title
    int selection;
    std::vector<const char*> items;
};

// The accessory's owner: its menus, what it answers to a pick, and whether
// its items never end. Answers on the owner's thread.
struct MenuBook {
    LRESULT Answer(WORD code, WORD value, LPARAM lParam)
    {
        std::lock_guard<std::mutex> guard(mutex);
        char* text = reinterpret_cast<char*>(lParam);
        if (code == LN_MENU_TITLE || code == LN_MENU_EXISTS)
            asked = value;
        const auto menu = menus.find(asked);
        const bool known = menu != menus.end();
        switch (code) {
        case LN_MENU_TITLE:
            return known && menu->second.title && strcpy(text, menu->second.title);
        case LN_MENU_EXISTS: return known;
        case LN_MENU_SELECTION: return known ? menu->second.selection : 0;
        case LN_ITEM_TEXT:
            Sleep(itemMs);
            if (endless)
                return strcpy(text, "Item") != nullptr;
            return known && value <= menu->second.items.size() &&
                   strcpy(text, menu->second.items[value - 1]);
        case LN_ITEM_CHOSEN:
            SetEvent(picking);
            Sleep(pickMs);
            return chosenAnswer;
        }
        return 0;  // lines are left to the link
    }

    std::mutex mutex;  // guards menus and asked
    std::map<WORD, Menu> menus;
    WORD asked = 0;
    std::atomic<LRESULT> chosenAnswer{0};
    std::atomic<bool> endless{false};
    // How long the owner thinks over a pick (`picking` is set as it
    // starts), and over each item.
    std::atomic<DWORD> pickMs{0};
    std::atomic<DWORD> itemMs{0};
    HANDLE picking = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ~MenuBook() { CloseHandle(picking); }
};

class LinkMenu : public testing::Test {
protected:
    // Shows a menu from this, a third thread; the lines sent and the
    // owner's queries.
    Log Show(int menuId)
    {
        peer.Forget();
        owner.ClearLog();
        EXPECT_EQ(1, link->ShowMenu(menuId));
        return Shown();
    }
    // The lines the phone received, then the owner's queries.
    Log Shown() const
    {
        Log shown = peer.ReceivedLines();
        for (const std::string& query : owner.Log(false))
            shown.push_back("? " + query);
        return shown;
    }
    void Put(WORD id, Menu menu)
    {
        std::lock_guard<std::mutex> guard(book.mutex);
        book.menus[id] = std::move(menu);
    }

    DeviceFaults faults{kPairA.linkDevice};
    Peer peer{kPairA, "OK\r"};
    MenuBook book;
    Owner owner{Owner::kOwnThread,
                [this](WORD code, WORD value, LPARAM lParam) {
                    return book.Answer(code, value, lParam);
                }};
    LinkPtr link = OpenLink(kPairA, owner.Window());
};

TEST_F(LinkMenu, RegistrationNamesTheEntry)
{
    link->Close();
    // The phone's OK answers it.
    EXPECT_LT(MsTaken([&] { EXPECT_EQ(1, link->Open("Viewer")); }), 900u);
    EXPECT_EQ("AT*EAM=\"Viewer\"\r\r", peer.Received());
    link->Close();
    peer.SetReply("");
    peer.Forget();
    EXPECT_EQ(1, link->Open("Viewer"));  // a silent phone does not fail it
    EXPECT_EQ("AT*EAM=\"Viewer\"\r\r", peer.Received());
}

// A submenu line, then the owner's queries for it: title, existence,
// selection, and items until one is missing.
Log Sent(const std::string& line, WORD id, int items)
{
    Log sent = {line};
    for (const char* query : {"? title ", "? exists ", "? selection "})
        sent.push_back(query + std::to_string(id));
    for (int item = 1; item <= items + 1; ++item)
        sent.push_back("? item " + std::to_string(item));
    return sent;
}

TEST_F(LinkMenu, SubmenusAreBuiltFromTheOwnersAnswers)
{
    Put(1, {"Home", 2, {"A"}});
    Put(3, {"Show", 0, {"Next", "Back"}});
    Put(5, {"A\tB", 1, {"Line\r\nTwo", "say \"hi\""}});
    Put(6, {nullptr, 2, {}});
    const std::string show = "AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1";
    // Each step shows a menu id, after changing one of the owner's menus or not.
    const struct {
        int show;
        Log sent;  // the lines, then the owner's queries
        WORD change = 0;
        Menu menu = {};
    } steps[] = {
        {-1, {"? title 1"}},  // a resend before any submenu sends nothing
        {0, Sent("AT*EASM=\"Home\",1,2,1,\"A\",1", 1, 1)},
        {3, Sent(show, 3, 2)},
        {0, Sent(show, 3, 2)},
        // A resend takes only a fresh title, also a resend of a resend.
        {-1, {"AT*EASM=\"Play\",1,1,2,\"Next\",\"Back\",1", "? title 3"}, 3, {"Play", 2, {"X"}}},
        {-1, {"AT*EASM=\"Pause\",1,1,2,\"Next\",\"Back\",1", "? title 3"}, 3, {"Pause", 2, {}}},
        // Ids travel as their low 16 bits; texts lose line breaks, tabs and quotes.
        {0x10005, Sent("AT*EASM=\"A B\",1,1,2,\"Line  Two\",\"say 'hi'\",1", 5, 2)},
        {6, Sent("AT*EASM=\"\",1,2,0,1", 6, 0)},
        // A missing menu sends nothing but becomes the current one.
        {7, {"? title 7", "? exists 7"}},
        {0, {"? title 7", "? exists 7"}},
        {-1, {"AT*EASM=\"\",1,", "? title 7"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.show);
        if (step.change != 0)
            Put(step.change, step.menu);
        EXPECT_EQ(step.sent, Show(step.show));
    }

    // An owner whose items never end still gives one line a receiver reads,
    // with as many item fields as its count says.
    book.endless = true;
    const std::string line = Show(3).at(0);
    EXPECT_LE(line.size(), 2047u);
    EXPECT_GT(line.size(), 2000u);
    const size_t countAt = line.find(',', line.find("\",1,") + 4) + 1;
    EXPECT_EQ(std::to_string(Occurrences(line, ",\"Item\"")),
              line.substr(countAt, line.find(',', countAt) - countAt));
    EXPECT_EQ(",1", line.substr(line.size() - 2));
}

// Indications are left to the link, which turns them into the next submenu
// on its reader.
TEST_F(LinkMenu, IndicationsLeadToTheNextSubmenu)
{
    Put(3, {"Show", 0, {"Next", "Back"}});
    Put(4, {"Four", 1, {"X"}});
    Show(3);
    // The next submenu's line, with the pick's query before the others.
    const auto four = [](const char* chosen) {
        Log sent = Sent("AT*EASM=\"Four\",1,1,1,\"X\",1", 4, 1);
        sent.insert(sent.begin() + 1, chosen);
        return sent;
    };
    const struct {
        const char* indication;
        LRESULT answer;  // the owner's next menu
        Log sent;
    } cases[] = {
        {"*EAMI: 2\r", 4, four("? chosen 3 2")},
        {"*EAII: 5,3\r", 0, four("? chosen 4 3")},  // 0: the current menu again
        {"*EAMI: 0\r", 4, {}},      // naming no item: dropped
        {"*EAII: 4,3\r", 4, {}},
        {"*EAII: 5\r", 4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.indication);
        book.chosenAnswer = c.answer;
        peer.Forget();
        owner.ClearLog();
        peer.Send(c.indication);
        RecordUpToMark(peer, owner, 0);  // the reader is past the pick
        peer.WaitForLines(c.sent.empty() ? 0 : 1, 2000);
        EXPECT_EQ(c.sent, Shown());
    }
}

// An owner may show a menu itself as it answers a pick: the reader asks it
// about the pick holding no lock that the owner's ShowMenu needs. Both
// lines go, the owner's first.
TEST_F(LinkMenu, AnOwnerMayShowAMenuAsItAnswersAPick)
{
    Put(3, {"Show", 1, {"Next"}});
    Put(4, {"Four", 1, {"X"}});
    Show(3);
    owner.SetAnswer([this](WORD code, WORD value, LPARAM lParam) -> LRESULT {
        if (code == LN_ITEM_CHOSEN)
            link->ShowMenu(4);
        return book.Answer(code, value, lParam);
    });
    peer.Forget();
    peer.Send("*EAMI: 1\r");
    ASSERT_TRUE(peer.WaitForLines(2, 3000));
    const std::string four = "AT*EASM=\"Four\",1,1,1,\"X\",1";
    EXPECT_EQ(Log({four, four}), peer.ReceivedLines());
}

// The reader's submenu for a pick that does not go owes no reply: the next
// command gets its own.
TEST_F(LinkMenu, ASubmenuThatDidNotGoOwesNoReply)
{
    Put(3, {"Show", 1, {"Next"}});
    Show(3);
    faults.FailNextWrite(0);
    peer.Forget();
    peer.Send("*EAMI: 1\r");
    ASSERT_TRUE(Eventually([&] { return faults.Writes().size() == 2; }, 2000));  // tried
    EXPECT_EQ(1, link->SendCommand("AT+Q"));
}

// Closing while the reader answers a pick, as an accessory quits right after
// one: the reader sends its submenu and ends, without waiting for Close.
TEST_F(LinkMenu, CloseLetsThePickInHandFinish)
{
    Put(3, {"Show", 1, {"Next"}});
    Show(3);
    book.pickMs = 300;
    peer.Forget();
    peer.Send("*EAMI: 1\r");
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(book.picking, 2000));
    EXPECT_LT(MsTaken([&] { link->Close(); }), 1000u);
    ASSERT_TRUE(peer.WaitForLines(1, 2000));
    EXPECT_EQ(Log({"AT*EASM=\"Show\",1,1,1,\"Next\",1"}), peer.ReceivedLines());
}

// A pick that comes while a command waits for its reply is a pick, not the
// reply, and the phone's answer to the submenu the reader sends for it is
// no command's reply either, also for a command sent right after it: the
// phone answers each line in the order the lines went. The submenu built
// for the pick is the later one, which the phone is shown last and a
// resend repeats: also when the accessory's own submenu, built before the
// pick, still waits for its turn to go behind that command (it then does
// not go, and its sender does not wait for a reply), and when the pick
// leads to a menu the owner lacks.
TEST_F(LinkMenu, AnIndicationIsNeverTakenForAReply)
{
    Put(3, {"Show", 1, {"Next"}});
    Put(4, {"Four", 1, {"X"}});
    Show(3);
    peer.SetReply("");
    const std::string four = "AT*EASM=\"Four\",1,1,1,\"X\",1";
    // The accessory asks for the character set, and the phone answers, or
    // it declares one, and the phone refuses it.
    const struct Command {
        std::string line;
        const char* expected;
        const char* answer;
        int result;
    } query = {"AT+CSCS?", "+CSCS: \"UTF-8\"", "+CSCS: \"UTF-8\"\rOK\r", 1},
      refused = {"AT+CSCS=\"UTF-8\"", "OK", "ERROR\r", 0};
    // The command, sent before the pick or once the pick's submenu went;
    // whether submenu 3 waits as the pick comes (queued behind a command
    // sent before it); the owner's next menu for the pick (it lacks 7). The
    // phone answers every line once the lines have gone.
    enum When { kNoCommand, kBefore, kAfter };
    const struct {
        When when;
        bool submenu;
        LRESULT chosen;
        const Command& command;
        Log lines;
    } cases[] = {
        {kBefore, true, 7, query, {query.line}},
        {kBefore, false, 4, query, {query.line, four}},
        {kNoCommand, true, 4, query, {"AT*EASM=\"Show\",1,1,1,\"Next\",1", four}},
        {kBefore, true, 4, query, {query.line, four}},
        {kAfter, false, 4, query, {four, query.line}},
        {kAfter, false, 4, refused, {four, refused.line}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.when << c.submenu << c.chosen << c.command.line);
        book.chosenAnswer = c.chosen;
        peer.Forget();
        owner.ClearLog();
        int result = -1;
        double shown = 0;  // when ShowMenu returned
        std::thread command, submenu;
        const auto sendCommand = [&] {
            command = std::thread(
                [&] { result = link->Transact(c.command.line.c_str(), c.command.expected); });
            EXPECT_TRUE(peer.WaitForText(c.command.line + "\r", 1, 2000));
        };
        if (c.when == kBefore)
            sendCommand();
        if (c.submenu) {
            submenu = std::thread([&] {
                link->ShowMenu(3);
                shown = NowMs();
            });
            // Built: its title, ..., items 1 and 2.
            EXPECT_TRUE(Eventually([&] { return owner.Log(false).size() >= 5; }, 2000));
            EXPECT_TRUE(peer.WaitForLines(1, 2000));
        }
        peer.Send("*EAMI: 1\r");
        if (c.when == kAfter) {
            EXPECT_TRUE(peer.WaitForLines(1, 2000));
            sendCommand();
        }
        EXPECT_TRUE(peer.WaitForLines(c.lines.size(), 2000));
        std::string answers;
        for (const std::string& line : c.lines)
            answers += line == c.command.line ? c.command.answer : "OK\r";
        const double answered = NowMs();
        peer.Send(answers);
        for (std::thread* thread : {&command, &submenu}) {
            if (thread->joinable())
                thread->join();
        }
        EXPECT_EQ(c.when == kNoCommand ? -1 : c.command.result, result);
        // Not a second later, as after waiting for a reply in vain: a
        // measure of what happened after the answers came, whatever the
        // machine's load made of the pick before.
        EXPECT_LT(c.submenu ? shown - answered : 0.0, 600.0);
        peer.ReceivedWhenQuiet(200);
        EXPECT_EQ(c.lines, peer.ReceivedLines());
    }
    peer.SetReply("OK\r");
    EXPECT_EQ(Log({four, "? title 4"}), Show(-1));
}

// Two submenus built at once (the accessory's, and the reader's for a pick
// that comes meanwhile) each ask the owner in turn: no line carries one
// menu's title and another's items. The owner takes its time over items.
// The reader's is built last and goes last; the accessory's goes before
// it, or not at all when its turn to go comes after the reader's build.
TEST_F(LinkMenu, EachSubmenuLineCarriesOneMenu)
{
    Put(3, {"Three", 1, {"Three 1", "Three 2", "Three 3", "Three 4"}});
    Put(4, {"Four", 1, {"Four 1", "Four 2", "Four 3", "Four 4"}});
    book.chosenAnswer = 4;
    book.itemMs = 50;
    std::thread show([&] { link->ShowMenu(3); });
    owner.WaitFor(1, 2000);  // the title: the pick comes now
    peer.Send("*EAMI: 1\r");
    show.join();
    const std::string three =
        "AT*EASM=\"Three\",1,1,4,\"Three 1\",\"Three 2\",\"Three 3\",\"Three 4\",1";
    const std::string four = "AT*EASM=\"Four\",1,1,4,\"Four 1\",\"Four 2\",\"Four 3\",\"Four 4\",1";
    EXPECT_TRUE(Eventually([&] { return peer.Received().find(four) != std::string::npos; }, 3000));
    peer.ReceivedWhenQuiet(200);
    const Log lines = peer.ReceivedLines();
    EXPECT_TRUE(lines == Log({three, four}) || lines == Log({four}))
        << testing::PrintToString(lines);
    // The pick is asked about once the build under way is done, not in its
    // midst, where the owner answers about menu 3.
    Log asked = Sent("", 3, 4);
    asked.push_back("? chosen 3 1");
    const Log four4 = Sent("", 4, 4);
    asked.insert(asked.end(), four4.begin() + 1, four4.end());
    const Log shown = Shown();
    EXPECT_EQ(Log(asked.begin() + 1, asked.end()), Log(shown.begin() + lines.size(), shown.end()));
}

// The owner's thread shows a menu while a third thread builds one, asking
// it: it waits for the build, answering its questions, then sends its own.
TEST(LinkOwner, ShowsAMenuOnceTheBuildUnderWayIsDone)
{
    Peer peer(kPairA, "OK\r");
    MenuBook book;
    book.menus[3] = {"Three", 1, {"A", "B"}};
    book.menus[4] = {"Four", 1, {"X"}};
    Owner owner(Owner::kThisThread,
                [&book](WORD code, WORD value, LPARAM lParam) { return book.Answer(code, value, lParam); });
    LinkPtr link = OpenLink(kPairA, owner.Window());
    std::thread builder([&] { link->ShowMenu(3); });
    // Nothing tells that its first question waits for this thread, and
    // looking at the queue would answer it: give it time. (Should the
    // builder start later, this one goes first: no line is lost either way.)
    Sleep(300);
    EXPECT_EQ(1, link->ShowMenu(4));
    builder.join();
    Log lines = peer.ReceivedLines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(Log({"AT*EASM=\"Four\",1,1,1,\"X\",1", "AT*EASM=\"Three\",1,1,2,\"A\",\"B\",1"}),
              lines);
}

}  // namespace
