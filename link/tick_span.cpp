#include "link/tick_span.h"

uint32_t TicksLeft(uint32_t start, uint32_t span, uint32_t now)
{
    // Unsigned subtraction counts the ticks since `start` also when the
    // count has wrapped in between.
    const uint32_t elapsed = now - start;
    return elapsed < span ? span - elapsed : 0;
}
