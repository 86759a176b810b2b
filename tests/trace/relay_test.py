#!/usr/bin/env python3
"""The trace relay alone, without Wine: the test is the accessory, on the
master of a pty the relay takes as its device, and the program, on the
relay's LINK, answering each line OK. The devices it must not open at all,
then a table of runs, each giving the trace its own way and doing its own
thing on the line, the relay ending within a second of being told to.

  relay_test.py TRACE_TOOLS
"""
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time

FLOOD = b"AT+X" + b"Y" * 1990 + b"\r"  # 2 KB of trace for each, past any pipe and queue
FLOODED = 300
HEAD = 100000  # what a stalled reader reads before it stops, as `head -c` would
OPENED, CLOSED = ("port", "opened by the phone"), ("port", "closed by the phone")
CLEAN = ("summary", "no findings")
GONE = r"trace-relay: {device}: gone, and not opened again: "


def trace_lines(text):
    """Each line's side and text; (None, the line) for one that is no trace line."""
    found = [(re.fullmatch(r" *\d+\.\d{3} (\S+) *(.*)", line), line) for line in text.splitlines()]
    return [match.groups() if match else (None, line) for match, line in found]


def written(path, text):
    with open(path, "w") as out:
        out.write(text)
    return path


def until(condition, seconds):
    """Whether condition() holds within `seconds`, looked at every 10 ms."""
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.01)
    return True


def session_on(terminal):
    """A session on `terminal`, a pty's far end open here, led by a sleep."""
    leader = subprocess.Popen(["setsid", "--ctty", "sleep", "300"], stdin=terminal)
    until(lambda: open("/proc/%d/comm" % leader.pid).read() == "sleep\n", 10)
    return leader


def number_given_again(pts, given, meanwhile):
    """Ptys of the test's until `pts` is given again, to one of them unless
    another process still holds it 5 s after the start (a test beside this
    one may take a freed number first, and let it go again); meanwhile()
    runs while no session has it (as a new terminal's), then one of the
    test's does (a link `given` is made again to lead there, if the number
    is another's). The kernel may still hold the number a while after its
    node has gone: a pty of a higher number is let go again at once, and
    the number waited for, so that the ptys taken are only the lower
    numbers that are free, and the one that comes next.
    The ptys, that session's terminal and leader, what meanwhile() gave."""
    spare, end = [], time.monotonic() + 5
    while True:
        spare += os.openpty()
        taken = os.ttyname(spare[-1])
        if taken == pts:
            break
        if number(taken) < number(pts):
            continue
        if time.monotonic() > end:
            break
        for fd in spare[-2:]:
            os.close(fd)
        del spare[-2:]
        time.sleep(0.01)
    if not os.path.exists(pts):
        for fd in spare:
            os.close(fd)
        raise TimeoutError("%s not given again within 5 s" % pts)
    terminal = spare[-1]
    happened = meanwhile()
    leader = session_on(terminal)
    if os.path.islink(given) and os.ttyname(terminal) != pts:
        os.unlink(given)
        os.symlink(os.ttyname(terminal), given)
    return spare, terminal, leader, happened


def number(pts):
    return int(pts.rsplit("/", 1)[1])


# How a test names a pty (its /dev/pts path) to the tool, when not as it is:
# spelled otherwise (a pty is known by its node), or through a link in `work`.
def spelled(pts, _):
    return pts.replace("/dev/", "/dev//")


def linked(pts, work):
    os.symlink(pts, work + "/pty")
    return work + "/pty"


def echoes(terminal):
    return termios.tcgetattr(terminal)[3] & (termios.ECHO | termios.ICANON) == \
        termios.ECHO | termios.ICANON


def refusal_faults(status, fits, cases, started=lambda: False):
    """Each command, on a terminal of its own beside another session's
    (TERMINAL, led by LEADER), ends at once with `status`, saying what
    fits(said, wanted) accepts, having started nothing; both left echoing."""
    ends = [os.openpty(), os.openpty()]
    others, own = ends[0][1], ends[1][1]
    leader = session_on(others)
    faults = []
    for command, wanted in cases:
        for name, value in (("TERMINAL", os.ttyname(others)), ("LEADER", str(leader.pid))):
            command = [word.replace(name, value) for word in command]
            wanted = wanted.replace(name, value)
        try:
            ran = subprocess.run(command, stdin=own, capture_output=True, text=True, timeout=20)
            if ran.returncode != status or not fits(ran.stderr, wanted) or started():
                faults.append("%s: status %d, %r" % (command, ran.returncode, ran.stderr))
        except subprocess.TimeoutExpired:
            faults.append("%s: waited for it" % command)
    faults += ["%s left not echoing" % os.ttyname(end) for end in (others, own) if not echoes(end)]
    leader.kill()
    leader.wait()
    for fd in ends[0] + ends[1]:
        os.close(fd)
    return faults


class Run:
    """A relay started on a pty of the test's, named as `naming` (if given)
    names it, and the program's end of it."""

    def __init__(self, tools, link, trace, naming, **popen):
        self.accessory, device = os.openpty()
        self.device = os.ttyname(device)
        self.given = naming(self.device, os.path.dirname(link)) if naming else self.device
        os.close(device)
        os.set_blocking(self.accessory, False)
        self.link, self.trace = link, trace
        self.relay = subprocess.Popen([tools + "/trace-relay", self.given, self.link, trace],
                                      stderr=subprocess.PIPE, **popen)
        self.pipe = self.relay.stdout.fileno() if self.relay.stdout else None
        self.program, self.heard, self.received, self.read = None, b"", b"", b""
        self.answering, self.reading = True, lambda: True

    def open_port(self):
        self.program = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def close_port(self):
        os.close(self.program)
        self.program = None

    def traced(self):
        """The trace so far: what its pipe gave, or its file."""
        return self.read.decode() if self.pipe is not None else \
            open(self.trace).read() if os.path.isfile(self.trace) else ""

    def pump(self, seconds, until, send=b""):
        """Passes bytes for at most `seconds`, until until() holds: `send`, an OK
        for each line while answering, the trace's pipe while reading()."""
        end = time.monotonic() + seconds
        while not until():
            left = end - time.monotonic()
            if left <= 0:
                return False
            fds = [self.accessory] + ([self.program] if self.answering is not None else [])
            fds += [self.pipe] if self.pipe is not None and self.reading() else []
            readable, writable, _ = select.select([fd for fd in fds if fd is not None],
                                                  [self.accessory] if send else [], [],
                                                  min(left, 0.1))
            if writable:
                send = send[os.write(self.accessory, send):]
            for fd in readable:
                try:
                    data = os.read(fd, 65536)
                except OSError:  # the program's end, hung up
                    data = b""
                if fd == self.pipe:
                    self.read += data
                elif fd == self.accessory:
                    self.received += data
                elif not data:
                    self.close_port()
                elif self.answering:
                    os.write(self.program, b"OK\r" * data.count(b"\r"))
                else:
                    self.heard += data
        return True

    def wait(self, condition, what, seconds=5, send=b""):
        if not self.pump(seconds, condition, send):
            raise TimeoutError(what)

    def replies(self, count):
        """Asks AT `count` times, one at a time; each reply's time in ms."""
        times = []
        for _ in range(count):
            before, asked = self.received.count(b"OK\r"), time.monotonic()
            self.wait(lambda: self.received.count(b"OK\r") > before, "AT not answered", 1, b"AT\r")
            times.append((time.monotonic() - asked) * 1000)
        return times


def refused_at_start(tools, work):
    """A pty's name not there (the next terminal's might come) and a terminal
    in use, another session's or its own as /dev/tty: refused at once."""
    relay, ends = [tools + "/trace-relay"], [work + "/link", work + "/refused.trace"]
    in_use = r"trace-relay: %s: a terminal in use \(process %s\); name the accessory's " \
        r"serial device\n"
    return ["refused at the start: " + fault for fault in refusal_faults(
        1, lambda said, wanted: re.fullmatch(wanted, said), [
            (relay + ["/dev/pts/999999"] + ends,
             r"trace-relay: /dev/pts/999999: No such file or directory\n"),
            (relay + ["TERMINAL"] + ends, in_use % ("TERMINAL", r"LEADER \(sleep\)")),
            (["setsid", "--ctty"] + relay + ["/dev/tty"] + ends,
             in_use % ("/dev/tty", r"\d+ \(trace-relay\)"))])]


def exchange(run):
    """Two lines answered; the accessory gets the answers and nothing else."""
    run.replies(2)
    return [] if run.received == b"OK\r" * 2 else ["the accessory got %r" % run.received[:80]]


def gone_for_good(run):
    """A line, and the device goes at once: the program still gets it and
    answers (traced); the pty's number, given again, is not opened, neither
    while no session has it nor once one has (the relay says so)."""
    run.answering = None  # not reading yet
    os.write(run.accessory, b"AT\r")
    run.wait(lambda: re.search(r"accessory AT\n", run.traced()), "AT not traced")
    os.close(run.accessory)
    run.accessory = None
    run.wait(lambda: "device" in run.traced() or not os.path.lexists(run.link), "not gone")
    run.answering = False
    run.wait(lambda: b"\r" in run.heard, "the line that came before the device went not read")
    os.write(run.program, b"OK\r")
    run.wait(lambda: not os.path.lexists(run.link), "the relay's pty outlived the device")
    spare, _, leader, reopened = number_given_again(
        run.device, run.given, lambda: run.pump(1.5, lambda: os.path.lexists(run.link)))
    try:
        if not reopened:
            run.wait(lambda: "gone for good" in run.traced(), "not gone for good")
        return ["%s opened again as another's" % run.device] * os.path.lexists(run.link)
    finally:
        for fd in spare:
            os.close(fd)
        leader.kill()
        leader.wait()


def hang_up(run):
    """The port opened again, and SIGHUP: the phone's unfinished line traced."""
    run.replies(1)
    run.close_port()
    run.open_port()
    os.write(run.program, b"O")
    run.wait(lambda: run.received.endswith(b"O"), "the phone's unfinished line not passed on")
    return []


def falls_behind(catches_up):
    """A trace reader stops in a flood: the link answers on; caught up, the
    reader is told how many lines were left out."""
    def doing(run):
        run.reading = lambda: len(run.read) < HEAD
        run.wait(lambda: run.received.count(b"OK\r") >= FLOODED, "the flood not answered", 10,
                 FLOOD * FLOODED)
        stalled = run.replies(20)
        print("relay_test: replies with the trace's reader stopped: median %.2f ms, worst %.2f ms"
              % (sorted(stalled)[len(stalled) // 2], max(stalled)))
        if catches_up:
            run.reading = lambda: True
            run.wait(lambda: re.search(rb"\n *[\d.]+ trace +\d+ lines left out\n", run.read),
                     "no line says how many were left out")
        return [] if max(stalled) < 250 else ["a reply took %.0f ms" % max(stalled)]
    return doing


def left_out_faults(text):
    """Every line the relay made is in the trace or counted as left out."""
    lines = trace_lines(text)
    left_out = sum(int(text.split()[0]) for side, text in lines if side == "trace")
    kept = sum(side not in ("trace", "summary") for side, _ in lines)
    made = 2 * (FLOODED + 20) + 2  # both sides' lines, a command's finding, the port opened
    if kept + left_out != made or lines[-1][0] != "summary":
        return ["%d lines traced and %d left out of %d" % (kept, left_out, made)]
    return []


def main(tools):
    work = tempfile.mkdtemp()
    trace, fifo, into = work + "/trace.txt", work + "/fifo", work + "/stdout.txt"
    os.mkfifo(fifo)
    written(into, "before\n")
    faults = refused_at_start(tools, work)
    # name, how the device is named, TRACE, how the relay's standard output
    # is given, what the run does (a hang-up ends it by SIGHUP, the others
    # by SIGTERM), the trace's lines as sides and the start of their texts
    # (None: not checked), its standard error (a pattern)
    asked = [("accessory", "AT"), ("phone", "OK")]
    runs = [
        ("the device goes after a line", spelled, trace, {}, gone_for_good, [OPENED] + asked[:1]
         + [("device", "gone for good: a pty's")] + asked[1:] + [CLEAN],
         GONE + r"a pty's number goes to the next terminal that asks for one\n"),
        ("a link to a pty, which goes", linked, trace, {}, gone_for_good,
         [OPENED] + asked[:1] + [("device", "gone")] + asked[1:] +
         [("device", "gone for good: its name leads to a terminal in use now"), CLEAN],
         GONE + r"it leads to a terminal in use now \(process \d+ \(.+\)\)\n"),
        ("SIGHUP", None, trace, {}, hang_up,
         [OPENED] + asked + [CLOSED, OPENED, ("phone", "O\\end"), CLEAN], ""),
        ("standard output closed", None, "-", {"preexec_fn": lambda: os.close(1)}, exchange, None,
         ""),
        ("a full disk", None, "/dev/full", {}, exchange, None, r"trace-relay: /dev/full: cannot be "
         r"written \(No space left on device\); the trace is incomplete from line 1 on\n"),
        ("/dev/stdout appended to a file", None, "/dev/stdout", {"stdout": open(into, "a")},
         exchange, [("before", ""), OPENED] + asked * 2 + [CLEAN], ""),
        ("a reader that stops", None, "-", {"stdout": subprocess.PIPE}, falls_behind(False), None,
         r"trace-relay: -: its reader took no more; the trace is incomplete from line \d+ on\n"),
        ("a FIFO whose reader stops and catches up", None, fifo, {}, falls_behind(True), None, ""),
    ]
    fifo_reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    for number, (name, naming, trace_arg, popen, doing, expected, said) in enumerate(runs):
        run, run_faults = None, []
        try:
            run = Run(tools, "%s/link%d" % (work, number), trace_arg, naming, **popen)
            run.pipe = fifo_reader if trace_arg == fifo else run.pipe
            run.wait(lambda: os.path.islink(run.link), "the relay made no link")
            run.open_port()
            run_faults += doing(run)
            told = time.monotonic()
            run.relay.send_signal(signal.SIGHUP if doing is hang_up else signal.SIGTERM)
            run.relay.wait(5)
            took = time.monotonic() - told
            print("relay_test: %s: the relay ended %.3f s after being told to" % (name, took))
            run_faults += ["ended %.2f s after being told to" % took] if took > 1 else []
            run.reading = lambda: True
            run.pump(2, lambda: False) if run.pipe is not None else None
            errors = run.relay.stderr.read().decode()
            if not re.fullmatch(said.replace("{device}", re.escape(run.given)), errors):
                run_faults.append("said %r" % errors)
            text = open(into).read() if trace_arg == "/dev/stdout" else run.traced()
            lines = [("before", "")] if text.startswith("before\n") else []
            text = text[len("before\n") if lines else 0:]
            # The line it is incomplete from may have gone in part: those before it are whole.
            cut = re.search(r"incomplete from line (\d+) on", errors)
            if cut and text.count("\n") != int(cut.group(1)) - 1:
                run_faults.append("%d whole lines, incomplete from line %s" % (
                    text.count("\n"), cut.group(1)))
            lines += trace_lines(text[:text.rfind("\n") + 1] if cut else text)
            run_faults += ["not a trace line: %r" % line for side, line in lines if side is None]
            if expected is not None and (len(lines) != len(expected) or any(
                    side != want_side or not text.startswith(want_text)
                    for (side, text), (want_side, want_text) in zip(lines, expected))):
                run_faults.append("traced %r" % lines)
            if trace_arg == fifo:
                run_faults += left_out_faults(text)
        except (TimeoutError, subprocess.TimeoutExpired, OSError) as failed:
            run_faults.append(str(failed))
        finally:
            if run is not None and run.relay.poll() is None:
                run.relay.kill()
                run.relay.wait()
        faults += ["%s: %s" % (name, fault) for fault in run_faults]
    os.close(fifo_reader)
    print("".join("relay_test: %s\n" % fault for fault in faults), end="")
    failed = len({fault.split(":")[0] for fault in faults})
    print("%d passed, %d failed" % (len(runs) + 1 - failed, failed))
    print("relay_test: the traces are in " + work) if faults else shutil.rmtree(work)
    return not faults


if __name__ == "__main__":
    sys.exit(0 if main(*sys.argv[1:]) else 1)
