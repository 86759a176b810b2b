// Writing lines, and pairing a command with the reply line that comes back.
#include "tests/support/expect_notifications.h"
#include "tests/support/link_fixture.h"
#include "tests/support/worker_thread.h"

#include <thread>

namespace {

// The peer's side of one exchange: read the command, answer it.
std::thread AnswerCommand(PeerPort& peer, const std::string& command,
                          const std::string& reply)
{
    return std::thread([&peer, command, reply] {
        if (peer.Read(command.size(), 3000) == command && !reply.empty())
            peer.Write(reply);
    });
}

class LinkCommands : public testing::Test {
protected:
    void OpenOn(HWND owner)
    {
        ASSERT_TRUE(peer.IsOpen());
        link = MakeLink(kPairA, owner);
        ASSERT_TRUE(link);
        ASSERT_EQ(1, link->Open(nullptr));
    }

    PeerPort peer{kPairA};
    LinkPtr link;
};

TEST_F(LinkCommands, WriteLineEndsTextWithOneCarriageReturn)
{
    RecordingOwner owner;
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));
    EXPECT_EQ(1, link->WriteLine("AT"));
    EXPECT_EQ(1, link->WriteLine(""));
    EXPECT_EQ("AT\r\r", peer.Read(4, 2000));

    link->Close();
    EXPECT_EQ(0, link->WriteLine("AT"));
    EXPECT_EQ("", peer.ReadUntilQuiet(300));
}

TEST_F(LinkCommands, CommandFromAThirdThreadGetsItsReply)
{
    OwnerThread owner(LeaveEveryLine);
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));

    std::thread peerSide = AnswerCommand(peer, "AT*X\r", "OK\r\n");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(1, link->SendCommand("AT*X"));
    EXPECT_LT(MsSince(start), 900u);
    peerSide.join();
    // The owner is offered the reply first and leaves it to the link.
    EXPECT_NOTIFICATIONS(owner.Owner().Log(), {{LN_LINE, 2, "OK"}});

    peerSide = AnswerCommand(peer, "AT*Y\r", "ERROR\r");
    EXPECT_EQ(0, link->SendCommand("AT*Y"));
    peerSide.join();

    peerSide = AnswerCommand(peer, "AT*Z\r", "READY\r");
    EXPECT_EQ(1, link->Transact("AT*Z", "READY"));
    peerSide.join();
}

TEST_F(LinkCommands, CommandWithoutReplyFailsAfterOneSecond)
{
    OwnerThread owner(LeaveEveryLine);
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));
    std::thread peerSide = AnswerCommand(peer, "AT\r", "");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, link->SendCommand("AT"));
    const ULONGLONG elapsed = MsSince(start);
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 1500u);
    peerSide.join();
}

TEST_F(LinkCommands, OwnerThatTakesEveryLineLeavesCommandsWithoutReply)
{
    OwnerThread owner(TakeEveryLine);
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));
    std::thread peerSide = AnswerCommand(peer, "AT\r", "OK\r");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, link->SendCommand("AT"));
    const ULONGLONG elapsed = MsSince(start);
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 1500u);
    peerSide.join();
    EXPECT_NOTIFICATIONS(owner.Owner().Log(), {{LN_LINE, 2, "OK"}});
}

TEST_F(LinkCommands, TransactWithoutExpectedReplyOnlyWrites)
{
    OwnerThread owner(LeaveEveryLine);
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(1, link->Transact("AT+CMD", ""));
    EXPECT_LT(MsSince(start), 500u);
    EXPECT_EQ("AT+CMD\r", peer.Read(7, 2000));
}

// A command made on the owner's own thread cannot get its reply: the reader
// first offers the reply to the busy owner. That failed exchange must leave
// nothing behind that a later exchange would take for its own reply.
TEST_F(LinkCommands, FailedExchangeLeavesNoStaleSignals)
{
    RecordingOwner owner(LeaveEveryLine);
    ASSERT_NO_FATAL_FAILURE(OpenOn(owner.Window()));

    std::thread peerSide = AnswerCommand(peer, "AT1\r", "OK\r");
    EXPECT_EQ(0, link->SendCommand("AT1"));
    peerSide.join();
    ASSERT_TRUE(owner.WaitFor(1, 2000));  // the late OK, left to the link
    PumpMessagesFor(300);

    // A later exchange from a third thread, while this thread keeps the
    // owner answering, gets its own reply and not a stale hand-over.
    int laterResult = -1;
    peerSide = AnswerCommand(peer, "AT2\r", "OK\r");
    {
        WorkerThread third([&] { laterResult = link->SendCommand("AT2"); });
        third.JoinPumping();
    }
    peerSide.join();
    EXPECT_EQ(1, laterResult);

    // And a reply that never comes is waited for, not found at once.
    peerSide = AnswerCommand(peer, "AT3\r", "");
    ULONGLONG elapsed = 0;
    {
        WorkerThread third([&] {
            const ULONGLONG start = GetTickCount64();
            laterResult = link->SendCommand("AT3");
            elapsed = MsSince(start);
        });
        third.JoinPumping();
    }
    peerSide.join();
    EXPECT_EQ(0, laterResult);
    EXPECT_GE(elapsed, 950u);
}

}  // namespace
