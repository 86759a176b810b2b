// The demo accessory against a scripted phone on the other end of the line.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/scripted_phone.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char kSlidesItems[] = "\"Next\",\"Back\",\"First\",\"Last\",\"Settings\",1";

class AccessoryDemo : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(phone.IsOpen()); }

    // Sends a pick and waits for the submenu that answers it. The answer is
    // sent from the accessory's reader, whose wait for the phone's OK to it
    // runs out after a second before the next pick is read.
    Lines Pick(const char* indication)
    {
        phone.Forget();
        phone.Send(indication);
        EXPECT_TRUE(phone.WaitForLines(1, 5000)) << indication;
        Sleep(1200);
        return phone.Lines();
    }

    ScriptedPhone phone{kPairA, ScriptedPhone::kAnswerOk};
};

TEST_F(AccessoryDemo, RegistersShowsItsMenuAndAnswersPicks)
{
    ChildProcess demo(L"accessory-demo.exe", L"COM5:");
    ASSERT_TRUE(demo.Started());

    ASSERT_TRUE(phone.WaitForLines(3, 5000)) << demo.Output();
    EXPECT_EQ(Lines({"AT*EAM=\"Slides\"", "",
                     std::string("AT*EASM=\"Slide 1/12\",1,1,5,") + kSlidesItems}),
              phone.Lines());
    ASSERT_TRUE(demo.WaitForOutput("Last, Settings", 3000)) << demo.Output();

    // Next changes only the title: the last submenu is sent again.
    EXPECT_EQ(Lines({std::string("AT*EASM=\"Slide 2/12\",1,1,5,") + kSlidesItems}),
              Pick("*EAMI: 1\r"));
    // Settings is another menu.
    EXPECT_EQ(Lines({"AT*EASM=\"Settings\",1,1,3,\"Loop: off\",\"Captions: off\","
                     "\"Back to slides\",1"}),
              Pick("*EAMI: 5\r"));
    // A toggle shows the same menu again, with fresh items.
    EXPECT_EQ(Lines({"AT*EASM=\"Settings\",1,1,3,\"Loop: off\",\"Captions: on\","
                     "\"Back to slides\",1"}),
              Pick("*EAMI: 2\r"));
    // Back to the slides, remembering the last pick there as the selection.
    EXPECT_EQ(Lines({std::string("AT*EASM=\"Slide 2/12 Lighthouse\",1,1,5,") +
                     kSlidesItems}),
              Pick("*EAMI: 3\r"));

    demo.CloseInput();
    EXPECT_EQ(0, demo.WaitForExit(5000));
    const std::string log = demo.Output();
    EXPECT_NE(std::string::npos, log.find("phone: *EAMI: 1")) << log;
    EXPECT_NE(std::string::npos, log.find("pick 1 in menu 1: Next: slide 1 -> 2")) << log;
    EXPECT_NE(std::string::npos, log.find("accessory: stopped")) << log;
}

TEST_F(AccessoryDemo, MissingDeviceEndsWithFailure)
{
    ChildProcess demo(L"accessory-demo.exe", L"COM4:");
    ASSERT_TRUE(demo.Started());
    EXPECT_EQ(1, demo.WaitForExit(5000)) << demo.Output();
    EXPECT_NE(std::string::npos, demo.Output().find("cannot be opened")) << demo.Output();
}

}  // namespace
