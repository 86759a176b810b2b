// The handheld sets, resets and pulses events through one call.
#pragma once

#include <windows.h>

enum { EVENT_PULSE = 1, EVENT_RESET = 2, EVENT_SET = 3 };

inline BOOL EventModify(HANDLE event, DWORD function)
{
    switch (function) {
    case EVENT_SET: return SetEvent(event);
    case EVENT_RESET: return ResetEvent(event);
    case EVENT_PULSE: return PulseEvent(event);
    }
    return FALSE;
}
