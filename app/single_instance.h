// One running copy at a time: a second copy brings the first one's window
// forward and ends.
#pragma once

#include <windows.h>

// S_OK, with *foundOther 1 when another copy was found and brought forward
// (this copy should end) and 0 when this is the first copy; E_FAIL when
// neither could be settled.
HRESULT EnsureSingleInstance(const wchar_t* className, const wchar_t* title,
                             BOOL* foundOther);
