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

// A write lasts what its bytes take at the line's speed, counted in steps of
// 64 bytes, and a fixed margin; not 200 ms a byte.
TEST(TickSpan, AWriteMayLastWhatTheLineTakesForIt)
{
    const struct {
        uint32_t bitsPerSecond, bitsPerByte;
        size_t bytes;
        uint32_t allowanceMs;
    } cases[] = {
        {38400, 10, 3, 517},       // "OK" and CR: one step, 16.7 ms
        {38400, 10, 64, 517},      {38400, 10, 65, 534},
        {38400, 10, 2000, 1034},   // 32 steps: 533.4 ms
        {9600, 11, 1, 574},        // with parity: 73.4 ms
        {115200, 10, 0, 500},
        {1, 12, 0xFFFFFFFFu, 0xFFFFFFFE},  // never INFINITE
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.allowanceMs, WriteAllowanceMs(c.bitsPerSecond, c.bitsPerByte, c.bytes))
            << c.bitsPerSecond << " " << c.bytes;

    // A start bit, the data bits, parity and stop bits (1, 1.5 and 2 as
    // DCB's 0, 1 and 2), whatever the driver says of its data bits.
    const struct {
        unsigned dataBits;
        bool parity;
        unsigned stopBits;
        uint32_t bits;
    } bytes[] = {
        {8, false, 0, 10}, {7, true, 0, 10}, {5, false, 0, 7}, {4, false, 0, 10},
        {9, false, 0, 10}, {6, true, 1, 10}, {8, true, 2, 12},
    };
    for (const auto& b : bytes)
        EXPECT_EQ(b.bits, BitsPerByte(b.dataBits, b.parity, b.stopBits)) << b.dataBits;
}

}  // namespace
