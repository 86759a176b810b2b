#include "link/reply_pairing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One step of a conversation: a command begins to wait after `read` reads
// ("await EXPECTED"), a line read by read `read` is offered ("offer LINE",
// true when it answered the wait), or the wait ends ("finish", its result;
// "withdraw": its line did not go).
struct Step {
    const char* what;
    uint32_t read;
    const char* text;
    int outcome;
};

TEST(ReplyPairing, ACommandTakesOnlyALineReadAfterItsOwnWent)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
    } conversations[] = {
        {"answered", {{"await", 0, "OK", 0}, {"offer", 1, "OK", 1}, {"finish", 0, "", 1}}},
        {"answered otherwise",
         {{"await", 0, "OK", 0}, {"offer", 1, "ERROR", 1}, {"offer", 1, "OK", 0}, {"finish", 0, "", 0}}},
        // Read before the command's line went: an earlier answer.
        {"read before",
         {{"await", 5, "OK", 0}, {"offer", 5, "OK", 0}, {"offer", 6, "ERROR", 1}, {"finish", 0, "", 0}}},
        {"across the wrap", {{"await", 0xFFFFFFFF, "OK", 0}, {"offer", 0, "OK", 1}, {"finish", 0, "", 1}}},
        // A's reply comes after B's line went, just before B's own.
        {"late reply, then the next command's",
         {{"await", 0, "OK", 0}, {"finish", 0, "", 0}, {"await", 0, "OK", 0}, {"offer", 1, "OK", 0},
          {"offer", 1, "ERROR", 1}, {"finish", 0, "", 0}}},
        {"late reply with nobody waiting",
         {{"await", 0, "OK", 0}, {"finish", 0, "", 0}, {"offer", 1, "OK", 0}, {"await", 1, "OK", 0},
          {"offer", 2, "OK", 1}, {"finish", 0, "", 1}}},
        // A line read before A's line went is not A's late reply.
        {"owed from later on",
         {{"await", 3, "OK", 0}, {"finish", 0, "", 0}, {"offer", 3, "X", 0}, {"await", 3, "OK", 0},
          {"offer", 4, "OK", 0}, {"offer", 4, "OK", 1}, {"finish", 0, "", 1}}},
        // A never answered costs B its reply, and C nothing.
        {"never answered",
         {{"await", 0, "OK", 0}, {"finish", 0, "", 0}, {"await", 1, "OK", 0}, {"offer", 2, "OK", 0},
          {"finish", 0, "", 0}, {"await", 2, "OK", 0}, {"offer", 3, "OK", 1}, {"finish", 0, "", 1}}},
        // Two unanswered in a row owe one reply, not two.
        {"owed once",
         {{"await", 0, "OK", 0}, {"finish", 0, "", 0}, {"await", 0, "OK", 0}, {"finish", 0, "", 0},
          {"await", 0, "OK", 0}, {"offer", 1, "OK", 0}, {"offer", 1, "OK", 1}, {"finish", 0, "", 1}}},
        {"withdrawn",
         {{"await", 0, "OK", 0}, {"withdraw", 0, "", 0}, {"await", 0, "OK", 0}, {"offer", 1, "OK", 1},
          {"finish", 0, "", 1}}},
    };
    for (const auto& c : conversations) {
        SCOPED_TRACE(c.name);
        ReplyPairing pairing;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            const std::string what = step.what;
            int outcome = 0;
            if (what == "await")
                pairing.Await(step.read, step.text);
            else if (what == "offer")
                outcome = pairing.Offer(step.read, step.text);
            else if (what == "finish")
                outcome = pairing.Finish();
            else
                pairing.Withdraw();
            EXPECT_EQ(step.outcome, outcome) << "step " << i << ": " << what;
        }
    }
}

}  // namespace
