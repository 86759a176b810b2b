#!/usr/bin/env python3
"""The trace relay alone, without Wine: the test is the accessory, on the
master of a pty whose /dev/pts name the relay takes as its device, and the
program, on the relay's LINK, answering each line OK. A table of runs, each
giving the trace its own way and doing its own thing on the line; in every
run the link keeps answering, and the relay ends within a second of being
told to, with what the run names in its trace and on its standard error.
Before them, the devices it must not open at all: a pty's name not there,
and a terminal in use, its caller's own or another session's.

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


def trace_lines(text):
    return [re.fullmatch(r" *\d+\.\d{3} (\S+) *(.*)", line).groups()
            for line in text.splitlines()]


def session_on(terminal):
    """A session whose controlling terminal is `terminal` (a pty's far end,
    open here), led by a sleep."""
    leader = subprocess.Popen(["setsid", "--ctty", "sleep", "300"], stdin=terminal)
    while open("/proc/%d/comm" % leader.pid).read() != "sleep\n":
        time.sleep(0.01)
    return leader


def number_given_again(pts, given, meanwhile):
    """Ptys of the test's until the system gives `pts` again, to the test or
    another; meanwhile() runs while no session claims it, as between a new
    terminal's making and its shell's setsid; then a session of the test's
    does (the number's, when the test has it; else a link `given` is made
    again to lead there). The ptys' descriptors, that session's terminal and
    leader, and what meanwhile() gave."""
    spare = []
    while not spare or not os.path.exists(pts) and len(spare) < 400:
        spare += os.openpty()
    terminal = next((end for end in spare[1::2] if os.ttyname(end) == pts), spare[-1])
    happened = meanwhile()
    leader = session_on(terminal)
    if os.path.islink(given) and os.ttyname(terminal) != pts:
        os.unlink(given)
        os.symlink(os.ttyname(terminal), given)
    return spare, terminal, leader, happened


def echoes(terminal):
    return termios.tcgetattr(terminal)[3] & (termios.ECHO | termios.ICANON) == \
        termios.ECHO | termios.ICANON


class Run:
    """A relay started on a pty of the test's, and the program's end of it;
    the relay is given the pty's name as `naming` makes it from its path."""

    def __init__(self, tools, link, trace, naming, **popen):
        self.accessory, device = os.openpty()
        self.device = os.ttyname(device)
        self.given = naming(self.device)
        os.close(device)
        os.set_blocking(self.accessory, False)
        self.link, self.trace = link, trace
        self.relay = subprocess.Popen([tools + "/trace-relay", self.given, self.link, trace],
                                      stderr=subprocess.PIPE, **popen)
        self.pipe = self.relay.stdout.fileno() if self.relay.stdout else None
        self.program, self.heard, self.received, self.read = None, b"", b"", b""
        self.answering, self.reading = True, lambda: True

    def connect(self):
        self.wait(lambda: os.path.islink(self.link), "the relay made no link")
        self.open_port()

    def open_port(self):
        self.program = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def close_port(self):
        os.close(self.program)
        self.program = None

    def traced(self):
        """The trace so far: what its pipe gave, or its file."""
        if self.pipe is not None:
            return self.read.decode()
        return open(self.trace).read() if os.path.isfile(self.trace) else ""

    def pump(self, seconds, until, send=b""):
        """Passes bytes for at most `seconds`, until until() holds: the
        accessory sends `send`, the program (while answering) answers each
        line OK, and the trace's pipe is read while reading() says so."""
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

    def stop(self, signal_number):
        """Tells the relay to end; how long it took, in seconds."""
        told = time.monotonic()
        self.relay.send_signal(signal_number)
        try:
            self.relay.wait(5)
        except subprocess.TimeoutExpired:
            self.relay.kill()
            self.relay.wait()
        return time.monotonic() - told


def refused_at_start(tools, work):
    """A pty's name not there (not waited for, as the next terminal's might
    come), and a terminal in use, another session's or the relay's own as
    /dev/tty: each refused at once with its line, the terminal left echoing."""
    relay = [tools + "/trace-relay"]
    ends = [os.openpty(), os.openpty()]
    others, own = ends[0][1], ends[1][1]
    leader = session_on(others)
    in_use = r"trace-relay: %s: a terminal in use \(process %s\); name the accessory's " \
        r"serial device\n"
    cases = [  # the command, its standard input, what it says
        (relay + ["/dev/pts/999999"], None,
         r"trace-relay: /dev/pts/999999: No such file or directory\n"),
        (relay + [os.ttyname(others)], None,
         in_use % (os.ttyname(others), r"%d \(sleep\)" % leader.pid)),
        (["setsid", "--ctty"] + relay + ["/dev/tty"], own,
         in_use % ("/dev/tty", r"\d+ \(trace-relay\)")),
    ]
    faults = []
    for command, stdin, said in cases:
        try:
            ran = subprocess.run(command + [work + "/link", work + "/refused.trace"], stdin=stdin,
                                 capture_output=True, text=True, timeout=5)
            ran = (ran.returncode, ran.stderr)
        except subprocess.TimeoutExpired:
            ran = "waited for it"
        if ran[0] != 1 or not re.fullmatch(said, ran[1]):
            faults.append("%s: %r" % (command[-1], ran))
    faults += ["%s left not echoing" % os.ttyname(end) for end in (others, own) if not echoes(end)]
    leader.kill()
    leader.wait()
    for pair in ends:
        for fd in pair:
            os.close(fd)
    return ["refused at the start: " + fault for fault in faults]


def figures(times):
    ordered = sorted(times)
    return "median %.2f ms, worst %.2f ms" % (ordered[len(ordered) // 2], ordered[-1])


def exchange(run):
    """Two lines answered; the accessory gets the answers and nothing else."""
    run.replies(2)
    return [] if run.received == b"OK\r" * 2 else ["the accessory got %r" % run.received[:80]]


def gone_for_good(run):
    """A line, and the device goes at once: the program, which had not read
    it yet, still gets it and answers (traced); a pty's name, whose number the
    system hands on to the next terminal, is never opened again, however
    spelled, nor is a link that still leads to that number: not while a pty
    of the test's has it and no session claims it yet, and once one does,
    the relay says so."""
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
        if not os.path.exists(run.device):
            return ["%s not given again" % run.device]
        if not reopened:
            run.wait(lambda: "gone for good" in run.traced(), "not gone for good")
        return ["%s opened again as another's" % run.device] * os.path.lexists(run.link)
    finally:
        for fd in spare:
            os.close(fd)
        leader.kill()
        leader.wait()


def hang_up(run):
    """The program opens its port again; its unfinished line is written as
    the trace ends (the relay is ended by SIGHUP)."""
    run.replies(1)
    run.close_port()
    run.open_port()
    os.write(run.program, b"O")
    run.wait(lambda: run.received.endswith(b"O"), "the phone's unfinished line not passed on")
    return []


def falls_behind(catches_up):
    """A trace reader that stops reading while the accessory floods: the
    link answers on, and once the reader catches up, a line says how many
    lines were left out."""
    def doing(run):
        run.reading = lambda: len(run.read) < HEAD
        oks = FLOODED
        run.wait(lambda: run.received.count(b"OK\r") >= oks, "the flood not answered", 10,
                 FLOOD * FLOODED)
        stalled = run.replies(20)
        print("relay_test: replies with the trace's reader stopped: %s" % figures(stalled))
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
    faults = refused_at_start(tools, work)
    # name, TRACE, how the relay's standard output is given, what the run
    # does, how it is ended, the trace's lines as sides and the start of
    # their texts (None: not checked), its standard error (a pattern)
    runs = [
        ("the device goes after a line", trace, {}, gone_for_good, signal.SIGTERM,
         [OPENED, ("accessory", "AT"), ("device", "gone for good: a pty's"), ("phone", "OK"),
          CLEAN],
         r"trace-relay: {device}: gone, and not opened again: a pty's number goes to the next "
         r"terminal that asks for one\n"),
        ("a link to a pty, which goes", trace, {}, gone_for_good, signal.SIGTERM,
         [OPENED, ("accessory", "AT"), ("device", "gone"), ("phone", "OK"),
          ("device", "gone for good: its name leads to a terminal in use now"), CLEAN],
         r"trace-relay: {device}: gone, and not opened again: it leads to a terminal in use now "
         r"\(process \d+ \(.+\)\)\n"),
        ("SIGHUP", trace, {}, hang_up, signal.SIGHUP,
         [OPENED, ("accessory", "AT"), ("phone", "OK"), CLOSED, OPENED, ("phone", "O\\end"),
          CLEAN], ""),
        ("standard output closed", "-", {"preexec_fn": lambda: os.close(1)}, exchange,
         signal.SIGTERM, None, ""),
        ("a full disk", "/dev/full", {}, exchange, signal.SIGTERM, None,
         r"trace-relay: /dev/full: cannot be written \(No space left on device\); the trace is "
         r"incomplete from line 1 on\n"),
        ("/dev/stdout appended to a file", "/dev/stdout", {"stdout": into}, exchange,
         signal.SIGTERM, [("before", "")] + [OPENED] + [("accessory", "AT"), ("phone", "OK")] * 2 +
         [CLEAN], ""),
        ("a reader that stops", "-", {"stdout": subprocess.PIPE}, falls_behind(False),
         signal.SIGTERM, None,
         r"trace-relay: -: its reader took no more; the trace is incomplete from line \d+ on\n"),
        ("a FIFO whose reader stops and catches up", fifo, {}, falls_behind(True),
         signal.SIGTERM, None, ""),
    ]
    def linked(pts):
        os.symlink(pts, work + "/pty")
        return work + "/pty"
    # A pty is known by its node: the first is named /dev//pts/N, the second
    # through a link.
    namings = {0: lambda pts: pts.replace("/dev/", "/dev//"), 1: linked}
    for number, (name, trace_arg, popen, doing, ending, expected, said) in enumerate(runs):
        fifo_reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK) if trace_arg == fifo else None
        if popen.get("stdout") == into:
            with open(into, "w") as before:
                before.write("before\n")
            popen = {"stdout": open(into, "a")}
        run, run_faults = None, []
        try:
            run = Run(tools, "%s/link%d" % (work, number), trace_arg,
                      namings.get(number, lambda pts: pts), **popen)
            run.pipe = fifo_reader if fifo_reader is not None else run.pipe
            run.connect()
            run_faults += doing(run)
            took = run.stop(ending)
            print("relay_test: %s: the relay ended %.3f s after being told to" % (name, took))
            run_faults += ["ended %.2f s after being told to" % took] if took > 1 else []
            run.reading = lambda: True
            run.pump(2, lambda: False) if run.pipe is not None else None
            errors = run.relay.stderr.read().decode()
            if not re.fullmatch(said.replace("{device}", re.escape(run.given)), errors):
                run_faults.append("said %r" % errors)
            written = open(into).read() if trace_arg == "/dev/stdout" else run.traced()
            lines = [("before", "")] if written.startswith("before\n") else []
            lines += trace_lines(written[len("before\n") if lines else 0:])
            if expected is not None and (len(lines) != len(expected) or any(
                    side != want_side or not text.startswith(want_text)
                    for (side, text), (want_side, want_text) in zip(lines, expected))):
                run_faults.append("traced %r" % lines)
            if trace_arg == fifo:
                run_faults += left_out_faults(written)
        except (TimeoutError, OSError) as failed:
            run_faults.append(str(failed))
        finally:
            if run is not None and run.relay.poll() is None:
                run.relay.kill()
                run.relay.wait()
            if fifo_reader is not None:
                os.close(fifo_reader)
        faults += ["%s: %s" % (name, fault) for fault in run_faults]
    print("".join("relay_test: %s\n" % fault for fault in faults), end="")
    failed = len({fault.split(":")[0] for fault in faults})
    print("%d passed, %d failed" % (len(runs) + 1 - failed, failed))
    print("relay_test: the traces are in " + work) if faults else shutil.rmtree(work)
    return not faults


if __name__ == "__main__":
    sys.exit(0 if main(*sys.argv[1:]) else 1)
