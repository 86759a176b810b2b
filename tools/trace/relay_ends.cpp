#include "tools/trace/relay_ends.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "tools/trace/processes.h"

namespace {

constexpr uint32_t kPortEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
constexpr unsigned kPtyFarEndMajors[] = {136, 143};
constexpr int kMaxLinks = 40;  // as the system follows them

// The session whose controlling terminal is `terminal` (numbered as a
// process's stat gives its terminal, tty_nr), told by the process that
// leads it while that runs, else by the first process found in it; 0 when
// it is no one's.
pid_t SessionOn(unsigned terminal)
{
    ProcessStat found;
    if (!FindProcess([&](const ProcessStat& process) { return process.terminal == terminal; },
                     &found))
        return 0;
    struct stat leader = {};
    return stat(("/proc/" + std::to_string(found.session)).c_str(), &leader) == 0 ? found.session
                                                                                   : found.pid;
}

// "PID (NAME)", as people see a process.
std::string ProcessNamed(pid_t pid)
{
    std::string name;
    FILE* comm = fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r");
    for (int c = 0; comm != nullptr && (c = fgetc(comm)) != EOF && c != '\n';)
        name += static_cast<char>(c);
    if (comm != nullptr)
        fclose(comm);
    return std::to_string(pid) + " (" + name + ")";
}

bool IsPtyFarEnd(const struct stat& node)
{
    return S_ISCHR(node.st_mode) && major(node.st_rdev) >= kPtyFarEndMajors[0] &&
           major(node.st_rdev) <= kPtyFarEndMajors[1];
}

// A device's number as a process's stat gives its terminal (tty_nr).
unsigned TerminalNumber(dev_t device)
{
    return (minor(device) & 0xFF) | major(device) << 8 | (minor(device) & ~0xFFu) << 12;
}

// The name given, if a link, and each link it leads to in turn (a link's
// relative target read from the link's own folder).
std::vector<LinkNode> LinksOnTheWay(std::string path)
{
    std::vector<LinkNode> links;
    struct stat node = {};
    char target[PATH_MAX];
    for (int hops = 0; hops < kMaxLinks && lstat(path.c_str(), &node) == 0 &&
                       S_ISLNK(node.st_mode);
         ++hops) {
        links.push_back({node.st_dev, node.st_ino, node.st_ctim});
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || length == sizeof target)
            break;
        const std::string to(target, static_cast<size_t>(length));
        const size_t slash = path.rfind('/');
        path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    return links;
}

// Not opened, or closed untouched: the session whose terminal it now is,
// if any, is named.
OpenedDevice PtyThatWent(dev_t pty)
{
    OpenedDevice opened;
    const pid_t session = SessionOn(TerminalNumber(pty));
    opened.result = session == 0 ? DeviceOpen::kPtyThatWent : DeviceOpen::kTerminalInUse;
    opened.session = session == 0 ? "" : ProcessNamed(session);
    return opened;
}

}  // namespace

bool operator==(const LinkNode& a, const LinkNode& b)
{
    return a.device == b.device && a.inode == b.inode && a.made.tv_sec == b.made.tv_sec &&
           a.made.tv_nsec == b.made.tv_nsec;
}

// Where the name leads is looked at before the open, so that the pty that
// went is not even opened, and again after it, for a new terminal given
// its number in between. A link made again between the look at the links
// and the open counts as the old one, and is followed at the next try.
OpenedDevice OpenDevice(const std::string& path, const NameTrail& last)
{
    const std::vector<LinkNode> links = LinksOnTheWay(path);
    struct stat node = {};
    const auto wentBefore = [&] {
        return IsPtyFarEnd(node) && node.st_rdev == last.pty && links == last.links;
    };
    if (stat(path.c_str(), &node) == 0 && wentBefore())
        return PtyThatWent(node.st_rdev);
    OpenedDevice opened;
    const int device = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0)
        return opened;
    // A file or anything else that is no terminal would take the
    // phone's lines into whatever it holds.
    termios line = {};
    unsigned terminal = 0;
    if (tcgetattr(device, &line) != 0) {
        opened.result = DeviceOpen::kNoTerminal;
    } else if (ioctl(device, TIOCGDEV, &terminal) != 0 ||  // the terminal /dev/tty stands for too
               fstat(device, &node) != 0) {
        opened.result = DeviceOpen::kFailed;
    } else if (wentBefore()) {
        opened = PtyThatWent(node.st_rdev);
    } else {
        const pid_t session = SessionOn(terminal);
        opened.result = session == 0 ? DeviceOpen::kOpened : DeviceOpen::kTerminalInUse;
        opened.session = session == 0 ? "" : ProcessNamed(session);
        opened.trail = {IsPtyFarEnd(node) ? node.st_rdev : 0, links};
    }
    if (opened.result != DeviceOpen::kOpened) {
        const int why = opened.result == DeviceOpen::kNoTerminal ? ENOTTY : errno;
        close(device);
        errno = why;
        return opened;
    }
    line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    tcsetattr(device, TCSANOW, &line);
    opened.fd = device;
    return opened;
}

bool OpensOnce(const std::string& device)
{
    struct stat node = {};
    if (lstat(device.c_str(), &node) == 0)
        return IsPtyFarEnd(node);
    const size_t slash = device.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : device.substr(0, slash + 1);
    struct statfs files = {};
    return statfs(folder.c_str(), &files) == 0 && files.f_type == DEVPTS_SUPER_MAGIC;
}

bool MakeProgramPty(ProgramPty* pty)
{
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char* name = nullptr;
    if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0 ||
        (name = ptsname(pty->master)) == nullptr) {
        CloseProgramPty(pty);
        return false;
    }
    pty->farName = name;
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
    return true;
}

bool LinkProgramPty(const std::string& link, ProgramPty* pty)
{
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(pty->farName.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), link.c_str()) != 0) {
        unlink(temporary.c_str());
        CloseProgramPty(pty);
        return false;
    }
    pty->link = link;
    return true;
}

bool OpenProgramPty(const std::string& link, ProgramPty* pty)
{
    return MakeProgramPty(pty) && LinkProgramPty(link, pty);
}

void KeepStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0)
            open("/dev/null", O_RDWR);  // the lowest free descriptor: this one
    }
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

size_t ProgramUnread(const ProgramPty& pty)
{
    int unread = 0;
    return ProgramHasUnread(pty) && ioctl(pty.far, FIONREAD, &unread) == 0
               ? static_cast<size_t>(unread)
               : 0;
}
