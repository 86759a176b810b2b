// The handheld sets, resets and pulses events through one call.
#pragma once

#include <windows.h>

enum { EVENT_PULSE = 1, EVENT_RESET = 2, EVENT_SET = 3 };

BOOL EventModify(HANDLE event, DWORD function);
