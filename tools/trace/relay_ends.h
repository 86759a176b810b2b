// The relay's two ends: the device, and the pty that the program opens in
// its place.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

enum class DeviceOpen {
    kOpened,
    kFailed,         // errno says why
    kNoTerminal,     // a file or anything else: a serial device always is a terminal
    kTerminalInUse,  // the controlling terminal of a session: someone's keys and screen
    kPtyThatWent,    // the pty it led to at its last open, through the same links
};

// A link, known by its node and when that was made, so that a link made
// again is told from the one that was there even when its inode is reused.
struct LinkNode {
    dev_t device = 0;
    ino_t inode = 0;
    timespec made = {};
};
bool operator==(const LinkNode& a, const LinkNode& b);

// Where a name led at an open: the pty's far end, when it was one, and the
// links on the way (the name given, and each link it leads to in turn).
struct NameTrail {
    dev_t pty = 0;  // the far end's device number; 0 for any other device
    std::vector<LinkNode> links;
};

struct OpenedDevice {
    DeviceOpen result = DeviceOpen::kFailed;
    int fd = -1;          // kOpened: non-blocking
    std::string session;  // kTerminalInUse: "PID (NAME)", the process that leads it
    NameTrail trail;      // kOpened
};

// The device, its line made raw as the program's device layer makes it: no
// echo, no translation, no signals; speed, framing and flow control stay as
// the device has them. Never a terminal in use, yours (/dev/tty) or anyone
// else's: made raw and read, it would leave them a terminal that echoes
// nothing, and their keys would be read as the accessory's. Asked at every
// open, since a name may lead to another device by then.
// Opened again after it failed, `last` the trail of the last open: a name
// that leads, through the very links it went through then, to the pty it
// led to then is not opened (kPtyThatWent), as that pty has gone and the
// system gives its number to the next terminal that asks, which no session
// claims until that terminal's shell has started (a link whose maker was
// killed stays). A link made again, or leading to another pty, is
// followed: its maker has made a new line.
OpenedDevice OpenDevice(const std::string& path, const NameTrail& last = {});
// A pty named as itself is opened once: once it has gone, the system gives
// its number to the next terminal that asks for one. Known by the node, not
// the spelling (/dev//pts/3 is /dev/pts/3 too): a name that is no link, of
// a pty's far end, or of nothing yet in the ptys' own folder.
bool OpensOnce(const std::string& device);

// A standard stream closed at the start would be the next file opened: the
// device or a pty as standard output would be sent the trace or the
// verdicts. Each closed one is opened on /dev/null, before anything else.
void KeepStandardStreams();

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
// OpenProgramPty in its two steps, for one who hands the far end on before
// the program can find it: the pty, then the link to its far end.
bool MakeProgramPty(ProgramPty* pty);
bool LinkProgramPty(const std::string& link, ProgramPty* pty);

// What the program did with its end since last asked, in order: its port
// opened (the first open) or closed (the last close). *read is set when it
// read, if reads are watched.
enum class PortMove { kOpened, kClosed };
std::vector<PortMove> TakePortMoves(ProgramPty* pty, bool* read);
void WatchReads(ProgramPty* pty, bool watched);
// Whether bytes written to the master wait for the program to read them,
// and how many.
bool ProgramHasUnread(const ProgramPty& pty);
size_t ProgramUnread(const ProgramPty& pty);
