#include "link/tick_span.h"

uint32_t TicksLeft(uint32_t start, uint32_t span, uint32_t now)
{
    // Unsigned subtraction counts the ticks since `start` also when the
    // count has wrapped in between.
    const uint32_t elapsed = now - start;
    return elapsed < span ? span - elapsed : 0;
}

uint32_t BitsPerByte(unsigned dataBits, bool parity, unsigned stopBits)
{
    constexpr unsigned kOneStopBit = 0;
    const uint32_t data = dataBits >= 5 && dataBits <= 8 ? dataBits : 8;
    return 1 + data + (parity ? 1 : 0) + (stopBits == kOneStopBit ? 1 : 2);
}

uint32_t WriteAllowanceMs(uint32_t bitsPerSecond, uint32_t bitsPerByte, size_t bytes)
{
    constexpr uint64_t kLongest = 0xFFFFFFFE;  // INFINITE stands apart
    if (bytes > 0xFFFFFFFFu)
        return static_cast<uint32_t>(kLongest);
    const uint64_t steps = bytes / kWriteStepBytes + (bytes % kWriteStepBytes != 0);
    const uint64_t bits = steps * kWriteStepBytes * bitsPerByte;
    const uint64_t ms = (bits * 1000 + bitsPerSecond - 1) / bitsPerSecond + kWriteMarginMs;
    return static_cast<uint32_t>(ms < kLongest ? ms : kLongest);
}
