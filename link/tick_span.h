// Waits bounded by the system's millisecond tick count, which on the
// handheld is 32 bits wide and wraps after 49.7 days. Pure arithmetic, no
// handles.
#pragma once

#include <stdint.h>

// Milliseconds left of a span of `span` that began at tick `start`, seen at
// tick `now`; 0 once it has passed. Right across the wrap, for spans up to
// half the tick's range.
uint32_t TicksLeft(uint32_t start, uint32_t span, uint32_t now);
