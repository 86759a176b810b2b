// The demo accessory against a scripted phone on the other end of the line.
#include <gtest/gtest.h>

#include <memory>

#include "testbed/child.h"
#include "testbed/peer.h"

namespace {

const std::string kSlidesItems = ",1,1,5,\"Next\",\"Back\",\"First\",\"Last\",\"Settings\",1";
const std::string kDeclareUtf8 = "AT+CSCS=\"UTF-8\"";

TEST(AccessoryDemo, RegistersShowsItsMenuAndAnswersPicks)
{
    Peer phone(kPairA, "OK\r");
    Child demo(L"accessory-demo.exe", L"COM5:", true);
    ASSERT_TRUE(phone.WaitForLines(4, 5000)) << demo.Output();
    EXPECT_EQ(Lines({"AT*EAM=\"Slides\"", "", kDeclareUtf8,
                     "AT*EASM=\"Slide 1/12\"" + kSlidesItems}),
              phone.ReceivedLines());
    // Each pick is answered from the accessory's reader, whose wait for the
    // phone's OK to it runs out after a second before the next pick is read.
    const struct {
        const char* pick;
        std::string menu;
    } picks[] = {
        {"*EAMI: 1\r", "AT*EASM=\"Slide 2/12\"" + kSlidesItems},  // a resend, new title
        {"*EAMI: 5\r", "AT*EASM=\"Settings\",1,1,3,\"Loop: off\",\"Captions: off\","
                       "\"Back to slides\",1"},
        {"*EAMI: 2\r", "AT*EASM=\"Settings\",1,1,3,\"Loop: off\",\"Captions: on\","
                       "\"Back to slides\",1"},
        {"*EAMI: 3\r", "AT*EASM=\"Slide 2/12 Lighthouse\"" + kSlidesItems},
        {"*EAMI: 1\r", u8"AT*EASM=\"Slide 3/12 Łódź\"" + kSlidesItems},  // in UTF-8
    };
    for (const auto& p : picks) {
        EXPECT_EQ(Lines({p.menu}), (phone.Exchange(p.pick, 1300), phone.ReceivedLines()))
            << p.pick;
    }
    demo.CloseInput();
    EXPECT_EQ(0, demo.WaitForExit(5000));
    for (const char* event : {"phone: *EAMI: 1", "pick 1 in menu 1: Next: slide 1 -> 2",
                              "accessory: stopped"})
        EXPECT_NE(std::string::npos, demo.Output().find(event)) << demo.Output();

    Child missing(L"accessory-demo.exe", L"COM4:", true);
    EXPECT_EQ(1, missing.WaitForExit(5000));
    EXPECT_NE(std::string::npos, missing.Output().find("cannot be opened")) << missing.Output();
}

// Its line is cut and comes back (the phone walked out of range): the
// accessory declares its character set, registers again and shows the phone
// its last menu.
TEST(AccessoryDemo, RegistersAgainWhenItsLineReturns)
{
    auto phone = std::make_unique<Peer>(kVanishingPair, "OK\r");
    Child demo(L"accessory-demo.exe", L"COM3:", true);
    ASSERT_TRUE(phone->WaitForLines(4, 5000)) << demo.Output();
    phone->Exchange("*EAMI: 1\r");
    phone->Hangup();
    ASSERT_TRUE(Outage(kTestModem, kVanishingPair).Gone());
    phone = std::make_unique<Peer>(kVanishingPair, "OK\r", Peer::kPairJustBack);
    ASSERT_TRUE(phone->IsOpen());
    ASSERT_TRUE(phone->WaitForLines(4, 5000)) << demo.Output();
    EXPECT_EQ(Lines({kDeclareUtf8, "AT*EAM=\"Slides\"", "",
                     "AT*EASM=\"Slide 2/12\"" + kSlidesItems}),
              phone->ReceivedLines());
}

}  // namespace
