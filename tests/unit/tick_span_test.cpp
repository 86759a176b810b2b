#include "link/tick_span.h"

#include <gtest/gtest.h>

namespace {

// The handheld's tick count wraps to 0 after 0xFFFFFFFF ms; a wait that
// straddles the wrap must neither end at once nor last for days.
TEST(TickSpan, WaitsStayRightAcrossTheWrap)
{
    const struct {
        uint32_t start, span, now, left;
    } cases[] = {
        {1000, 200, 1000, 200},      {1000, 200, 1150, 50},
        {1000, 200, 1200, 0},        {1000, 200, 5000, 0},
        {0xFFFFFF9C, 200, 0xFFFFFFFF, 101},  // 100 ms before the wrap
        {0xFFFFFF9C, 200, 0, 100},           // at the wrap
        {0xFFFFFF9C, 200, 99, 1},            {0xFFFFFF9C, 200, 100, 0},
        {0xFFFFFF9C, 200, 4000, 0},          // long past, after the wrap
        {0xFFFFFFFF, 1000, 998, 1},          {7, 0, 7, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.left, TicksLeft(c.start, c.span, c.now)) << c.start << " " << c.now;
}

}  // namespace
