// Waits bounded by the system's millisecond tick count, which on the
// handheld is 32 bits wide and wraps after 49.7 days, and how long a write
// may take on a serial line. Pure arithmetic, no handles.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Milliseconds left of a span of `span` that began at tick `start`, seen at
// tick `now`; 0 once it has passed. Right across the wrap, for spans up to
// half the tick's range.
uint32_t TicksLeft(uint32_t start, uint32_t span, uint32_t now);

// Milliseconds a write of `bytes` may last on a line that carries
// `bitsPerSecond` (above 0), each byte taking `bitsPerByte` (start, data,
// parity and stop bits): the bytes' own time, counted in whole steps of
// kWriteStepBytes so that lines of about one length share one setting, and
// kWriteMarginMs for the driver and the far end.
constexpr size_t kWriteStepBytes = 64;
// The bits a byte takes on a line of `dataBits` data bits (5 to 8; any other
// count reads as 8), a parity bit if `parity` and `stopBits` stop bits as
// DCB's StopBits says them (ONESTOPBIT 0; one and a half counted as two).
uint32_t BitsPerByte(unsigned dataBits, bool parity, unsigned stopBits);
constexpr uint32_t kWriteMarginMs = 500;
uint32_t WriteAllowanceMs(uint32_t bitsPerSecond, uint32_t bitsPerByte, size_t bytes);
