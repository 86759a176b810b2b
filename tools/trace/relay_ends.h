// The relay's two ends: the device, and the pty that the program opens in
// its place.
#pragma once

#include <string>
#include <vector>

enum class DeviceOpen {
    kOpened,
    kFailed,         // errno says why
    kNoTerminal,     // a file or anything else: a serial device always is a terminal
    kTerminalInUse,  // the controlling terminal of a session: someone's keys and screen
};
struct OpenedDevice {
    DeviceOpen result = DeviceOpen::kFailed;
    int fd = -1;          // kOpened: non-blocking
    std::string session;  // kTerminalInUse: "PID (NAME)", the process that leads it
};

// The device, its line made raw as the program's device layer makes it: no
// echo, no translation, no signals; speed, framing and flow control stay as
// the device has them. Never a terminal in use, yours (/dev/tty) or anyone
// else's: made raw and read, it would leave them a terminal that echoes
// nothing, and their keys would be read as the accessory's. Asked at every
// open, since a name may lead to another device by then.
OpenedDevice OpenDevice(const std::string& path);
// A pty named as itself is opened once: once it has gone, the system gives
// its number to the next terminal that asks for one. Known by the node, not
// the spelling (/dev//pts/3 is /dev/pts/3 too): a name that is no link, of
// a pty's far end, or of nothing yet in the ptys' own folder.
bool OpensOnce(const std::string& device);

// A pty whose far end `link` names: the link is replaced in one step, so
// that the program never finds it missing, and goes when the pty is closed.
// The relay keeps the far end open too, so that the program may close and
// open it again without the pty ending; the master thus never sees the
// program go, and the far end's device node is watched instead (inotify):
// every open of it but the relay's own, and every last close of one, is
// an event, as is every read while reads are watched.
struct ProgramPty {
    int master = -1;  // non-blocking
    int far = -1;
    int watch = -1;        // the far end's events, non-blocking
    int programOpens = 0;  // opens of the far end still open, the relay's own aside
    std::string link;
    std::string farName;
};
bool OpenProgramPty(const std::string& link, ProgramPty* pty);
void CloseProgramPty(ProgramPty* pty);

// What the program did with its end since last asked, in order: its port
// opened (the first open) or closed (the last close). *read is set when it
// read, if reads are watched.
enum class PortMove { kOpened, kClosed };
std::vector<PortMove> TakePortMoves(ProgramPty* pty, bool* read);
void WatchReads(ProgramPty* pty, bool watched);
// Whether bytes written to the master wait for the program to read them.
bool ProgramHasUnread(const ProgramPty& pty);
