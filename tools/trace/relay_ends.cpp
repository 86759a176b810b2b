#include "tools/trace/relay_ends.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

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
    for (int* fd : {&pty->master, &pty->far}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}
