#include "tools/trace/relay_ends.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t kPortEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

}  // namespace

int OpenDevice(const std::string& path)
{
    const int device = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0)
        return -1;
    // A file or anything else that is no terminal would take the
    // phone's lines into whatever it holds.
    termios line = {};
    if (tcgetattr(device, &line) != 0) {
        close(device);
        errno = ENOTTY;
        return -1;
    }
    line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    tcsetattr(device, TCSANOW, &line);
    return device;
}

bool OpensOnce(const std::string& device)
{
    return device.compare(0, 9, "/dev/pts/") == 0;
}

bool OpenProgramPty(const std::string& link, ProgramPty* pty)
{
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char* name = nullptr;
    if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0 ||
        (name = ptsname(pty->master)) == nullptr) {
        CloseProgramPty(pty);
        return false;
    }
    pty->far = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line = {};
    if (pty->far < 0 || tcgetattr(pty->far, &line) != 0) {
        CloseProgramPty(pty);
        return false;
    }
    cfmakeraw(&line);
    tcsetattr(pty->far, TCSANOW, &line);
    // Watched once the relay's own open is past.
    pty->watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (pty->watch < 0 || inotify_add_watch(pty->watch, name, kPortEvents) < 0) {
        CloseProgramPty(pty);
        return false;
    }
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(name, temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0) {
        CloseProgramPty(pty);
        return false;
    }
    pty->link = link;
    pty->farName = name;
    return true;
}

// Unlinked before it is closed: the system may give a closed pty to the
// next terminal, whose input the program would then read.
void CloseProgramPty(ProgramPty* pty)
{
    char target[PATH_MAX];
    const ssize_t length = pty->link.empty() ? -1
                                             : readlink(pty->link.c_str(), target, sizeof target);
    if (length > 0 && pty->farName.compare(0, std::string::npos, target, length) == 0)
        unlink(pty->link.c_str());
    pty->link.clear();
    pty->programOpens = 0;
    // The watch first: the relay's own close is no event.
    for (int* fd : {&pty->watch, &pty->master, &pty->far}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

std::vector<PortMove> TakePortMoves(ProgramPty* pty, bool* read)
{
    std::vector<PortMove> moves;
    alignas(inotify_event) char events[4096];
    ssize_t length = 0;
    while ((length = ::read(pty->watch, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if ((event->mask & IN_OPEN) != 0 && pty->programOpens++ == 0)
                moves.push_back(PortMove::kOpened);
            if ((event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0 &&
                pty->programOpens != 0 && --pty->programOpens == 0)
                moves.push_back(PortMove::kClosed);
            *read |= (event->mask & IN_ACCESS) != 0;
            at += static_cast<ssize_t>(sizeof *event + event->len);
        }
    }
    return moves;
}

void WatchReads(ProgramPty* pty, bool watched)
{
    inotify_add_watch(pty->watch, pty->farName.c_str(), kPortEvents | (watched ? IN_ACCESS : 0));
}

// Polling the far end first hands it what was written to the master and
// is still on its way.
bool ProgramHasUnread(const ProgramPty& pty)
{
    pollfd far = {pty.far, POLLIN, 0};
    return poll(&far, 1, 0) > 0 && (far.revents & POLLIN) != 0;
}
