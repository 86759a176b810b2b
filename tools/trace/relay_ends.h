// The relay's two ends: the device, and the pty that the program opens in
// its place.
#pragma once

#include <string>

// The device, non-blocking, its line made raw as the program's device layer
// makes it: no echo, no translation, no signals; speed, framing and flow
// control stay as the device has them. -1 when it does not open, or is no
// terminal (errno ENOTTY): a serial device always is one.
int OpenDevice(const std::string& path);

// A pty whose far end `link` names: the link is replaced in one step, so
// that the program never finds it missing, and goes when the pty is closed.
// The relay keeps the far end open too, so that the program may close and
// open it again without the pty ending.
struct ProgramPty {
    int master = -1;  // non-blocking
    int far = -1;
    std::string link;
    std::string farName;
};
bool OpenProgramPty(const std::string& link, ProgramPty* pty);
void CloseProgramPty(ProgramPty* pty);
