// Whether the accessory's program has read the phone's pick, from what the
// phone has written to its line and what of that waits unread. Pure.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The far end's count of unread bytes is at most what its read buffer
// holds (4095 on Linux's terminals): at that count, more may wait beyond it.
constexpr size_t kMostUnreadCounted = 4095;

// `written` bytes have gone to the line, `unread` of them counted unread;
// the pick ends at byte `pickEnd`.
inline bool AccessoryReadPick(uint64_t written, size_t unread, uint64_t pickEnd)
{
    return unread < kMostUnreadCounted && written - unread >= pickEnd;
}
