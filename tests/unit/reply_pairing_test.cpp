#include "link/reply_pairing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

// Each conversation, step by step: "await R TEXT" (a command's line goes
// after R reads and waits for TEXT), "owe R" (a line whose reply nobody
// waits for went after R reads), "offer R TEXT N" (a line read by read R; N
// is 1 when it answered the wait), "finish N" (the wait's result),
// "withdraw" (the command's line did not go).
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
        // A command gone behind an owed reply owes none when it gives up;
        // one gone ahead of it owes its own reply first.
        "owe 0, await 0 OK, finish 0, await 0 OK, offer 1 OK 0, offer 1 OK 1, finish 1",
        "await 0 OK, owe 1, finish 0, await 1 OK, offer 1 X 0, offer 2 Y 0, offer 2 OK 1, finish 1",
        // The owed reply ahead of A was read before A's line went, though
        // offered after: A's own reply is still to come, and owed once A
        // gives up, so B's is the line after it.
        "owe 2, await 3 OK, offer 3 OK 0, finish 0, await 3 OK, offer 4 OK 0, offer 4 ERROR 1, "
        "finish 0",
    };
    for (std::string steps : conversations) {
        SCOPED_TRACE(steps);
        ReplyPairing pairing;
        std::replace(steps.begin(), steps.end(), ',', ' ');
        std::istringstream in(steps);
        std::string what, text;
        uint32_t read = 0;
        int expected = 0;
        for (int step = 0; in >> what; ++step) {
            if (what == "await" && in >> read >> text)
                pairing.Await(read, text.c_str());
            else if (what == "owe" && in >> read)
                pairing.Owe(read);
            else if (what == "offer" && in >> read >> text >> expected)
                EXPECT_EQ(expected, pairing.Offer(read, text.c_str()) ? 1 : 0) << "step " << step;
            else if (what == "finish" && in >> expected)
                EXPECT_EQ(expected, pairing.Finish()) << "step " << step;
            else if (what == "withdraw")
                pairing.Withdraw();
            else
                ADD_FAILURE() << "step " << step << " cannot be read: " << what;
        }
    }
}

}  // namespace
