// The demo's console: one plain line per event, and the two ways a person or
// a script stops it.
#pragma once

#include <windows.h>

// Prints one line to standard output at once, so that a reader on a pipe
// follows the exchange as it happens.
void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Posts WM_CLOSE to `window` on Ctrl+C or Ctrl+Break, and when standard
// input reaches its end.
void CloseOnStopRequest(HWND window);
