// Ends as remote.exe does, returning from its entry with a device still open
// through the stand-in, then closes it and opens it again once the runtime
// has run the static destructors, as a link's reader still running at exit
// may. Exit code: 0 it opened again; 1 it did not (the claim was lost with
// the stand-in's state); 2 the late check never ran; 3 the first open failed.
#include <windows.h>

#include <stdlib.h>

#include "ce/stream_device.h"

namespace {

constexpr wchar_t kDevice[] = L"NUL";  // passed on unchanged: a file any prefix has
HANDLE g_held = INVALID_HANDLE_VALUE;

void AfterStaticDestructors()
{
    CloseStreamDevice(g_held);
    const HANDLE again = OpenStreamDevice(kDevice);
    TerminateProcess(GetCurrentProcess(), again != INVALID_HANDLE_VALUE ? 0 : 1);
}

// Exit handlers run in the reverse order of their registration, and this
// one is registered before any static object of default priority is made.
__attribute__((constructor(101))) void RegisterFirst() { atexit(AfterStaticDestructors); }

}  // namespace

int main()
{
    g_held = OpenStreamDevice(kDevice);
    return g_held != INVALID_HANDLE_VALUE ? 2 : 3;
}
