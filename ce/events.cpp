#include "ce/events.h"

BOOL EventModify(HANDLE event, DWORD function)
{
    switch (function) {
    case EVENT_SET: return SetEvent(event);
    case EVENT_RESET: return ResetEvent(event);
    case EVENT_PULSE: return PulseEvent(event);
    }
    return FALSE;
}
