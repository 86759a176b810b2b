// How received bytes become the lines an owner is given.
#include "tests/support/expect_notifications.h"
#include "tests/support/link_fixture.h"

#include <string>
#include <vector>

namespace {

struct FramingCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

std::vector<ExpectedNotification> LineNotifications(const std::vector<std::string>& lines)
{
    std::vector<ExpectedNotification> expected;
    for (const std::string& line : lines)
        expected.push_back({LN_LINE, static_cast<WORD>(line.size()), line.c_str()});
    return expected;
}

class LinkFraming : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.IsOpen());
        ASSERT_TRUE(link);
        ASSERT_EQ(1, link->Open(nullptr));
    }

    // Sends bytes from the peer and returns what the owner was given once
    // the line has been quiet long enough for the reader to finish a batch.
    std::vector<Notification> Deliver(const std::string& bytes, size_t expectedLines)
    {
        owner.ClearLog();
        EXPECT_TRUE(peer.Write(bytes));
        owner.WaitFor(expectedLines, 3000);
        PumpMessagesFor(500);
        return owner.Log();
    }

    PeerPort peer{kPairA};
    RecordingOwner owner;
    LinkPtr link = MakeLink(kPairA, owner.Window());
};

TEST_F(LinkFraming, CutsBatchesIntoLinesAtCarriageReturns)
{
    const FramingCase cases[] = {
        {"O K CR", "OK\r", {"OK"}},
        {"O K CR LF", "OK\r\n", {"OK"}},
        {"two lines in one batch", "AT\rAT+X\r", {"AT", "AT+X"}},
        {"CR CR", "\r\r", {}},
        {"CR LF CR LF between lines", "ONE\r\n\r\nTWO\r\n", {"ONE", "TWO"}},
        {"LF inside a line", "A\nB\r", {"AB"}},
        {"NUL inside a line", std::string("A\0B\r", 4), {"AB"}},
        {"last line without CR", "FIRST\rREST", {"FIRST", "REST"}},
        {"8-bit bytes pass", "\xE9t\xE9\r", {"\xE9t\xE9"}},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NOTIFICATIONS(Deliver(c.bytes, c.lines.size()), LineNotifications(c.lines));
    }
}

TEST_F(LinkFraming, PauseOverTwoHundredMillisecondsSplitsALine)
{
    owner.ClearLog();
    ASSERT_TRUE(peer.Write("AB"));
    PumpMessagesFor(450);
    ASSERT_TRUE(peer.Write("CD\r"));
    owner.WaitFor(2, 3000);
    PumpMessagesFor(300);
    EXPECT_NOTIFICATIONS(owner.Log(), LineNotifications({"AB", "CD"}));
}

TEST_F(LinkFraming, LongRunWithoutCarriageReturnComesInBatchesOf2047)
{
    const std::string run(3000, 'x');
    const std::vector<Notification> received = Deliver(run, 2);
    EXPECT_NOTIFICATIONS(received, LineNotifications({run.substr(0, 2047), run.substr(2047)}));
}

TEST_F(LinkFraming, OwnerMayRewriteTheLineItWasLent)
{
    // Shortening a line in place must not change where the next one starts.
    owner.SetAnswer([](const Notification&, LPARAM line) -> LRESULT {
        reinterpret_cast<char*>(line)[0] = '\0';
        return 1;
    });
    EXPECT_NOTIFICATIONS(Deliver("FIRST\rSECOND\r", 2), LineNotifications({"FIRST", "SECOND"}));
}

}  // namespace
