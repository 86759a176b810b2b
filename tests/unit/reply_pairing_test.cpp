#include "link/reply_pairing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

// Each conversation, step by step: "await R TEXT" (a command's line goes
// after R reads and waits for TEXT), "owe R" (a line whose reply nobody
// waits for went after R reads; its tickets count from 0), "offer R TEXT N"
// (a line read by read R; N is 1 when it answered the wait), "finish N"
// (the wait's result), "withdraw" and "forgive T" (the line of the command,
// or of ticket T, did not go), "forget" (the device went), "over N" (1 when
// the wait has its outcome).
TEST(ReplyPairing, ACommandTakesOnlyItsOwnReply)
{
    const std::string conversations[] = {
        "await 0 OK, offer 1 OK 1, finish 1",
        "await 0 OK, offer 1 ERROR 1, offer 1 OK 0, finish 0",
        // Read before the command's line went: an earlier answer.
        "await 5 OK, offer 5 OK 0, offer 6 ERROR 1, finish 0",
        "await 4294967295 OK, offer 0 OK 1, finish 1",
        // A's late reply comes after B's line went, just before B's own;
        // or with nobody waiting.
        "await 0 OK, finish 0, await 0 OK, offer 1 OK 0, offer 1 ERROR 1, finish 0",
        "await 0 OK, finish 0, offer 1 OK 0, await 1 OK, offer 2 OK 1, finish 1",
        // A line read before A's line went is not A's late reply.
        "await 3 OK, finish 0, offer 3 X 0, await 3 OK, offer 4 OK 0, offer 4 OK 1, finish 1",
        // A never answered costs B its reply, and C nothing; two unanswered
        // in a row owe one reply, not two.
        "await 0 OK, finish 0, await 1 OK, offer 2 OK 0, finish 0, "
        "await 2 OK, offer 3 OK 1, finish 1",
        "await 0 OK, finish 0, await 0 OK, finish 0, "
        "await 0 OK, offer 1 OK 0, offer 1 OK 1, finish 1",
        "await 0 OK, withdraw, await 0 OK, offer 1 OK 1, finish 1",
        // The reader's own lines: the phone's OK to its submenu, sent just
        // before the command, is not the command's reply; nor is its OK to
        // each of the registration and the resent submenu. Paid with nobody
        // waiting, or read before the reader's line went.
        "owe 0, await 0 OK, offer 1 OK 0, offer 1 ERROR 1, finish 0",
        "owe 0, owe 0, await 0 READY, offer 1 OK 0, offer 2 OK 0, offer 2 READY 1, finish 1",
        "owe 0, offer 1 OK 0, await 1 OK, offer 2 OK 1, finish 1",
        "owe 3, offer 3 X 0, await 3 OK, offer 4 OK 0, offer 4 OK 1, finish 1",
        // The reader's line went after the command's: the first reply is
        // the command's, the next one the reader's.
        "await 0 OK, owe 0, offer 1 ERROR 1, offer 1 OK 0, finish 0, "
        "await 1 OK, offer 2 OK 1, finish 1",
        // A command gone behind an owed reply owes none when it gives up,
        // though the next one alone again does; one gone ahead of it owes
        // its own reply first.
        "owe 0, await 0 OK, finish 0, await 0 OK, offer 1 OK 0, offer 1 OK 1, finish 1",
        "owe 0, await 0 OK, offer 1 OK 0, finish 0, await 1 OK, finish 0, "
        "await 1 OK, offer 2 OK 0, offer 2 OK 1, finish 1",
        "await 0 OK, owe 1, finish 0, await 1 OK, offer 1 OK 0, offer 2 ERROR 0, offer 2 OK 1, "
        "finish 1",
        // The owed reply ahead of A was read before A's line went, though
        // offered after: A's own reply is still to come, and owed once A
        // gives up, so B's is the line after it.
        "owe 2, await 3 OK, offer 3 OK 0, finish 0, await 3 OK, offer 4 OK 0, offer 4 ERROR 1, "
        "finish 0",
        // A reply ends with its final result code: a command that took an
        // information line still owes its OK, one answered ERROR owes
        // nothing, and an owed reply's information lines pay nothing.
        "await 0 +CSCS:x, offer 1 +CSCS:x 1, finish 1, await 1 OK, offer 2 OK 0, offer 2 ERROR 1, "
        "finish 0",
        "await 0 +CSCS:x, offer 1 ERROR 1, finish 0, await 1 OK, offer 2 OK 1, finish 1",
        "owe 0, await 0 OK, offer 1 +CSCS:x 0, offer 1 OK 0, offer 1 ERROR 1, finish 0",
        "await 0 OK, finish 0, await 0 OK, offer 1 +CME 0, offer 1 +CME ERROR: 3 0, "
        "offer 1 NO CARRIER 1, finish 0",
        // The device went: the wait is over, and nothing is owed any more.
        "owe 0, await 0 OK, over 0, forget, over 1, finish 0, await 0 OK, offer 1 OK 1, finish 1",
        // A line that did not go owes nothing, also one behind a waiting
        // command, and a ticket paid already forgives no other.
        "owe 0, forgive 0, await 0 OK, offer 1 OK 1, finish 1",
        "await 0 OK, owe 0, forgive 0, offer 1 OK 1, finish 1",
        "owe 0, await 0 OK, forgive 0, offer 1 OK 1, finish 1",
        "owe 0, owe 0, offer 1 OK 0, forgive 0, await 1 OK, offer 2 OK 0, offer 2 ERROR 1, finish 0",
    };
    for (std::string steps : conversations) {
        SCOPED_TRACE(steps);
        ReplyPairing pairing;
        std::istringstream in(steps);
        std::string item;
        for (int step = 0; std::getline(in >> std::ws, item, ','); ++step) {
            // A text may hold spaces: it is what stands between the number
            // before it and the number that ends the step.
            std::istringstream words(item);
            std::string what, text;
            uint32_t number = 0;
            int expected = 0;
            words >> what >> number;
            std::getline(words >> std::ws, text);
            const size_t last = text.rfind(' ');
            if (what == "offer" && last != std::string::npos)
                expected = std::stoi(text.substr(last + 1)), text.resize(last);
            if (what == "await")
                pairing.Await(number, text.c_str());
            else if (what == "owe")
                pairing.Owe(number);
            else if (what == "offer")
                EXPECT_EQ(expected, pairing.Offer(number, text.c_str()) ? 1 : 0) << "step " << step;
            else if (what == "finish")
                EXPECT_EQ(static_cast<int>(number), pairing.Finish()) << "step " << step;
            else if (what == "over")
                EXPECT_EQ(number == 1, pairing.Over()) << "step " << step;
            else if (what == "withdraw")
                pairing.Withdraw();
            else if (what == "forgive")
                pairing.Forgive(number);
            else if (what == "forget")
                pairing.Forget();
            else
                ADD_FAILURE() << "step " << step << " cannot be read: " << what;
        }
    }
}

TEST(ReplyPairing, FinalResultCodesEndAReply)
{
    for (const char* line : {"OK", "ERROR", "+CME ERROR: 10", "+CMS ERROR: 500", "NO CARRIER",
                             "BUSY", "NO ANSWER", "NO DIALTONE", "CONNECT", "CONNECT 9600"})
        EXPECT_TRUE(IsFinalResultCode(line)) << line;
    for (const char* line : {"", "OK ", "ok", "OKAY", "+CSCS: \"UTF-8\"", "READY", "ERRORS",
                             "*EAMI: 1", "RING"})
        EXPECT_FALSE(IsFinalResultCode(line)) << line;
}

}  // namespace
