#!/usr/bin/env python3
"""The phone-test against accessories that answer at once, natively: the
clean one passes every case; each faulty one fails exactly its case and no
other, with exit status 1 and a JUnit file that parses; one late on either
side of a timed rule's bound passes or fails it; each run's trace has the
line going and coming back around the drop, and check-trace works out the
same findings from it; the accessory's whole process group ends with the
run, a member that ignores SIGTERM too; a trace into a pipe whose reader
stops holds up nothing; on a DEVICE the drop is skipped, and a pty that
goes is not opened again, named as itself however spelled, nor through a
link once its number leads a session; a line that fills the phone's
buffer, with nothing after it as the line drops and as the run ends, is
judged as the trace judges it; bad command lines, bad scripts and
terminals in use are refused with their one line and exit status 2,
before the accessory is started, the terminals left as they were. Each
run's folder is gone after it unless its accessory wrote something, and
scripts/phone-test builds only when asked to, one build at a time. The
runs go side by side: most of each is the drop's two seconds.

  faults_test.py PHONE_TEST
"""
import fcntl
import os
import select
import signal
import subprocess
import sys
import tempfile
import time
import tty
import xml.etree.ElementTree as ElementTree

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.dont_write_bytecode = True  # nothing of the tests' left in the checkout
sys.path.insert(0, os.path.join(ROOT, "tests", "trace"))
from relay_test import echoes, number_given_again, session_on  # noqa: E402

ACCESSORY = os.path.join(ROOT, "testbed", "instant_accessory.py")
CASES = ["registers", "shows a menu", "answers every pick", "every item reached",
         "comes back after a drop", "lines read as sent"]
ROWS = [  # the fault, the one case it fails, and the words that say why
    (None, None, "phone-test: 6 passed"),
    ("unanswered-pick", "answers every pick", '\n      pick 4, "Last" in "Slide 1/12"\n'),
    ("no-return", "comes back after a drop", "2 s away: no AT*EAM within 3 s; it showed"),
    ("count-differs", "lines read as sent", "submenu declares 6 items and gives 5"),
    ("lf-endings", "lines read as sent", "finding   line ended by LF alone"),
    ("undeclared-utf8", "lines read as sent", "no character set was declared"),
    ("unreachable-item", "every item reached", 'reached in 14 picks: no pick led back to them\n'
                                               '      menu "Slide 12/12": "Right"\n'),
    ("long-line", "lines read as sent", "YYY\\full\n"),  # named as traced, not by its rest
    ("ends-at-once", "registers", "registers: the accessory's program ended (exit status 0)"),
]
# Each timed rule from both sides of its bound: late by this much, the
# cases that fail (the menu, had it come in time, would have been walked).
LATE = [
    ("first 4.5", set()),
    ("first 5.5", {"registers", "shows a menu"}),
    ("return 2.5", set()),
    ("return 3.5", {"comes back after a drop"}),
    ("pick 0.5", set()),
    ("pick 1.5", {"answers every pick"}),
]
WALKED = ("answers every pick", "every item reached")
# A member of the accessory's group that ignores SIGTERM, known by its
# sleep's length.
SURVIVOR_SLEEP = "sleep 3017.%d" % os.getpid()
SURVIVOR = "(trap '' TERM; exec %s) & exec " % SURVIVOR_SLEEP
ACC = "touch STARTED {}"  # an accessory that leaves a mark when it is started
REFUSED = [  # the command line, and its one line on standard error
    ([], "usage: scripts/phone-test [--script FILE]"),
    (["--run"], "phone-test: --run takes a value"),
    (["--picks", "0", "--run", ACC], "phone-test: --picks takes a number of picks from 1"),
    (["--reply-within", "1.5", "--run", ACC], "phone-test: --reply-within takes milliseconds"),
    (["--bogus", "--run", ACC], "usage: scripts/phone-test"),
    (["/dev/a", "/dev/b"], "usage: scripts/phone-test"),
    (["--run", ACC, "/dev/a"], "phone-test: give a DEVICE or --run 'COMMAND', not both"),
    (["--run", "accessory"], "phone-test: --run 'COMMAND' takes {} where the path"),
    (["--trace", "/no/such/folder/t", "--run", ACC], "phone-test: /no/such/folder/t: the trace"),
    (["--junit", "/no/such/folder/j", "--run", ACC], "phone-test: /no/such/folder/j: the JUnit"),
    (["--script", "/no/such/script", "--run", ACC], "phone-test: /no/such/script: cannot be read"),
    (["--run", "no-such-accessory {}"], "phone-test: the command cannot be run: sh: 1: no-such-"),
]
IN_USE = "a terminal in use (process "
DEVICES = [  # a DEVICE scripts/phone-test refuses as scripts/remote does, and its line
    ("/dev/does-not-exist", "phone-test: /dev/does-not-exist: no such device; check the path"),
    ("/dev/tty", "phone-test: /dev/tty: a terminal (yours, or the system's console); name the "
                 "accessory's serial device"),
    ("/dev/console", "phone-test: /dev/console: a terminal (yours, or the system's console)"),
    ("TERMINAL", "phone-test: TERMINAL: " + IN_USE + "LEADER (sleep))"),
    ("PLAIN", "phone-test: PLAIN: not a serial device"),
]
BAD_SCRIPTS = [  # the script, the line (DEVICE or --run), and what it says after the file
    ('expect entry "Slides"\nexpect menu "Slide 1/12\n', ["--run", ACC],
     ": line 2: a quote is not closed"),
    ("pick first\n", ["--run", ACC],
     ": line 1: `pick` takes an item's text in quotes, or its number from 1"),
    ('# fine\nexpect title "X"\n', ["--run", ACC], ": line 2: `expect` takes entry, menu or items"),
    ("wait 1\ndrop 2\n", ["/dev/null"], ": line 2: drop takes the line away, which needs --run"),
]


def verdicts(output):
    """Each case's word, from the lines that start with one."""
    found = {}
    for line in output.splitlines():
        word, _, rest = line.partition("  ")
        if word in ("PASS", "FAIL", "SKIP"):
            found[rest.split(": ")[0]] = word
    return found


def junit_fault(path, found):
    """What is wrong with the JUnit file against the printed verdicts."""
    try:
        suite = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        return "JUnit: %s" % error
    cases = {case.get("name"): "FAIL" if case.find("failure") is not None else
             "SKIP" if case.find("skipped") is not None else "PASS"
             for case in suite.findall("testcase")}
    failures = sum(word == "FAIL" for word in found.values())
    if suite.tag != "testsuite" or cases != found or suite.get("failures") != str(failures):
        return "JUnit says %s, %s failures" % (cases, suite.get("failures"))
    return None


def untimed(text):
    return [line.split(None, 1)[1] for line in text.splitlines()]


def trace_fault(check_trace, path, dropped):
    """What is wrong with a run's trace: the line's going and coming back
    around the drop, and check-trace's findings worked out afresh."""
    traced = untimed(open(path).read())
    news = [line for line in traced if line.startswith("device")]
    if news != (["device    gone", "device    back"] if dropped else []):
        return "the trace's news: %s" % news
    checked = untimed(subprocess.run([check_trace, path], capture_output=True, text=True).stdout)
    return None if checked == traced else "check-trace reads otherwise: %s" % [
        line for line in set(checked) ^ set(traced)][:4]


def row_fault(failing, skipping, why, status, output, junit):
    found = verdicts(output)
    if why not in output:
        return "not said: %r" % why
    if list(found) != CASES:
        return "cases %s" % list(found)
    failed = {case for case, word in found.items() if word == "FAIL"}
    skipped = {case for case, word in found.items() if word == "SKIP"}
    if failed != failing:
        return "failed %s" % sorted(failed)
    if skipped != skipping:
        return "skipped %s" % sorted(skipped)
    if status != (1 if failing else 0):
        return "exit status %d" % status
    if not output.rstrip().endswith("phone-test: %d passed, %d failed, %d skipped" % (
            len(CASES) - len(failed) - len(skipped), len(failed), len(skipped))):
        return "no closing line"
    return junit_fault(junit, found)


def refusals(phone_test, work):
    """Each bad command line and script, and each terminal in use, refused
    with its one line and exit status 2 before the accessory is started,
    the terminals still echoing; no build asked for."""
    marker = work + "/started"
    cases = REFUSED[:]
    for i, (script, line, said) in enumerate(BAD_SCRIPTS):
        path = "%s/bad%d.script" % (work, i)
        with open(path, "w") as out:
            out.write(script)
        cases.append((["--script", path] + line, "phone-test: " + path + said))
    cases = [([phone_test] + arguments, said) for arguments, said in cases]
    cases += [([ROOT + "/scripts/phone-test", device], said) for device, said in DEVICES]
    # Run without the script's checks, the tool refuses a file and another's
    # terminal itself too, and its own terminal (here its session's).
    cases += [([phone_test, device], said) for device, said in DEVICES[-2:]]
    cases.append((["setsid", "--ctty", phone_test, "/dev/tty"],
                  "phone-test: /dev/tty: " + IN_USE))
    plain = work + "/plain"
    open(plain, "w").close()
    ends = [os.openpty(), os.openpty()]
    terminal, own = ends[0][1], ends[1][1]
    leader = session_on(terminal)
    faults = []
    for arguments, said in cases:
        named = {"STARTED": marker, "PLAIN": plain, "TERMINAL": os.ttyname(terminal),
                 "LEADER": str(leader.pid)}
        for name, value in named.items():
            arguments = [argument.replace(name, value) for argument in arguments]
            said = said.replace(name, value)
        run = subprocess.run(arguments, stdin=own, capture_output=True, text=True, timeout=20)
        lines = run.stderr.splitlines()
        if run.returncode != 2 or len(lines) != 1 or not lines[0].startswith(said) or \
                os.path.exists(marker) or os.path.getsize(plain) != 0:
            faults.append("refused %s: status %d, %r" % (arguments, run.returncode, run.stderr))
    faults += ["%s left not echoing" % os.ttyname(end) for end in (terminal, own)
               if not echoes(end)]
    leader.kill()
    leader.wait()
    for pair in ends:
        for fd in pair:
            os.close(fd)
    if os.path.exists(work + "/cmake.calls"):
        faults.append("scripts/phone-test built, though PHONE_TEST_SKIP_BUILD is set")
    return faults


def built_when_asked(_, work):
    """Without PHONE_TEST_SKIP_BUILD, scripts/phone-test builds (cmake, a
    stand-in that notes its calls), but not while another build holds the
    build's lock."""
    calls, lock = work + "/cmake.calls", open(ROOT + "/build/trace.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    environment = dict(os.environ)
    del environment["PHONE_TEST_SKIP_BUILD"]
    run = subprocess.Popen([ROOT + "/scripts/phone-test", "/dev/does-not-exist"],
                           env=environment, stderr=subprocess.PIPE, text=True)
    end = time.monotonic() + 1
    while not os.path.exists(calls) and time.monotonic() < end:
        time.sleep(0.01)
    held = os.path.exists(calls)
    lock.close()
    said = run.communicate(timeout=20)[1]
    built = open(calls).read().count("\n") if os.path.exists(calls) else 0
    if held or built != 2 or run.returncode != 2:
        return "%s, %d cmake calls, status %d: %r" % (
            "built while the lock was held" if held else "waited", built, run.returncode, said)
    return None


def stalled_trace(phone_test, _):
    """The trace on standard output, a pipe whose reader stops at once: the
    run ends as ever, its verdicts on standard error, where the trace's end
    not written is said once."""
    reader, writer = os.pipe()
    fcntl.fcntl(writer, fcntl.F_SETPIPE_SZ, 4096)  # the long lines overfill it
    command = " ".join([sys.executable, ACCESSORY, "{}", "--fault", "long-line"])
    run = subprocess.Popen([phone_test, "--trace", "-", "--run", command], stdout=writer,
                           stderr=subprocess.PIPE, text=True)
    os.close(writer)
    held = False
    try:
        said = run.communicate(timeout=20)[1]
    except subprocess.TimeoutExpired:
        held = True
    traced = os.read(reader, 4096)
    os.close(reader)  # one held up goes on now, and stops its accessory
    said = run.communicate(timeout=20)[1] if held else said
    ended = "phone-test: -: its reader took no more; the trace is incomplete from line "
    if held or run.returncode != 1 or said.count(ended) != 1 or \
            not traced.startswith(b"   0.") or \
            not said.rstrip().endswith("phone-test: 5 passed, 1 failed, 0 skipped"):
        return "the trace's reader stopped: %s%r" % ("held up for 20 s: " * held, said[-300:])
    return None


def held_lines(phone_test, work):
    """A menu that fills the phone's line, without its CR, as the line drops
    and as the run ends: the phone took it each time, and `lines read as
    sent` judges it as the trace does."""
    script, trace = work + "/held.script", work + "/held.trace"
    with open(script, "w") as out:
        out.write('expect menu "Slide 1/12"\ndrop 1\nexpect menu "Slide 1/12"\n')
    command = " ".join([sys.executable, ACCESSORY, "{}", "--fault", "full-menu"])
    run = subprocess.run([phone_test, "--script", script, "--trace", trace, "--run", command],
                         capture_output=True, text=True, timeout=60)
    if "FAIL  lines read as sent: 2 findings on 2 of " not in run.stdout or \
            run.stdout.count("finding   submenu declares 6 items and gives 5") != 2:
        return run.stdout
    return trace_fault(os.path.dirname(phone_test) + "/check-trace", trace, True)


def pty_pair(prefix):
    """socat's pty pair, linked as `prefix` with device and peer."""
    device, peer = prefix + "device", prefix + "peer"
    pair = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + device,
                             "pty,raw,echo=0,link=" + peer])
    while not (os.path.exists(device) and os.path.exists(peer)):
        time.sleep(0.01)
    return pair, device, peer


def device_run(phone_test, work):
    """The clean accessory on one end of a pty pair, the phone-test on the
    other: every case but the drop, which is skipped."""
    pair, device, peer = pty_pair(work + "/")
    try:
        accessory = subprocess.Popen([sys.executable, ACCESSORY, peer])
        run = subprocess.run([phone_test, device], capture_output=True, text=True, timeout=60)
        accessory.kill()
        found = verdicts(run.stdout)
        expected = dict.fromkeys(CASES, "PASS")
        expected["comes back after a drop"] = "SKIP"
        return None if found == expected and run.returncode == 0 else run.stdout
    finally:
        pair.kill()


def pty_gone(naming):
    """The phone-test on a pty named as `naming` names it, whose pair ends
    while a pick waits for its answer: that case fails, the rest are skipped
    (but the lines' own), and the pty's number, given again to a pty of the
    test's, is not opened again: not while no session claims it, nor once
    one does (what is typed there gets no answer)."""
    return lambda phone_test, work: pts_gone(phone_test, work, naming)


def pts_gone(phone_test, work, naming):
    pair, device, peer = pty_pair(work + "/%s-" % naming.__name__)
    pts, trace, spare, leader = os.path.realpath(device), work + "/pts.trace", [], None
    given = naming(pts, work)
    open(trace, "w").close()
    accessory = subprocess.Popen([sys.executable, ACCESSORY, peer, "--fault", "unanswered-pick"])
    run = subprocess.Popen([phone_test, "--trace", trace, given], stdout=subprocess.PIPE,
                           text=True)
    try:
        def traced(words, seconds=10):
            end = time.monotonic() + seconds
            while words not in open(trace).read() and time.monotonic() < end:
                time.sleep(0.01)
            return words in open(trace).read()
        if not traced("phone     *EAMI: 4"):
            return "pick 4 never sent"
        pair.kill()
        if not traced("device    gone"):
            return "no news of the device going"
        spare, far, leader, back = number_given_again(
            pts, given, lambda: traced("device    back", 1.5))
        if back:
            return "%s opened again while no session claimed it" % pts
        terminal = spare[spare.index(far) - 1]
        tty.setraw(far)
        os.write(terminal, b"AT\r")
        end = time.monotonic() + 3
        while run.poll() is None and time.monotonic() < end:
            if select.select([terminal], [], [], 0.05)[0]:
                return "%s opened again: it answered %r" % (pts, os.read(terminal, 100))
        output = run.communicate(timeout=10)[0]
        found = verdicts(output)
        expected = dict(zip(CASES, ["PASS", "PASS", "FAIL", "SKIP", "SKIP", "PASS"]))
        if found != expected or run.returncode != 1 or "%s has gone, and is not opened again" % \
                given not in output or "device    gone for good: " not in open(trace).read():
            return output
        return None
    finally:
        for fd in spare:
            os.close(fd)
        for process in (run, accessory, pair) + ((leader,) if leader else ()):
            process.kill()
            process.wait()


def spelled(pts, _):
    return pts.replace("/dev/", "/dev//")


def linked(pts, work):
    os.symlink(pts, work + "/pty")
    return work + "/pty"


def killed(phone_test, work):
    """The phone-test ended by force: the line's link goes and the accessory
    ends, or it would open again whatever pty the system gives the link's
    number next; and the run's folder goes, as the accessory wrote nothing."""
    run = subprocess.Popen([phone_test, "--run", " ".join([sys.executable, ACCESSORY, "{}"])],
                           stdout=subprocess.PIPE, text=True)
    link = run.stdout.readline().split("` on ")[1].split(";")[0]
    tag = ACCESSORY + " " + link  # names the accessory's process
    while "PASS  registers" not in run.stdout.readline():
        pass
    run.kill()
    run.wait()
    end = time.monotonic() + 4
    while time.monotonic() < end:
        alive = subprocess.run(["pgrep", "-f", tag], capture_output=True).returncode == 0
        if not alive and not os.path.lexists(os.path.dirname(link)):
            return None
        time.sleep(0.05)
    subprocess.run(["pkill", "-KILL", "-f", tag])
    return "ended by force: the accessory %s, its link %s, its folder %s" % (
        "still runs" if alive else "ended", "left" if os.path.lexists(link) else "gone",
        "left" if os.path.lexists(os.path.dirname(link)) else "gone")


def survivor_left():
    return subprocess.run(["pgrep", "-f", SURVIVOR_SLEEP], capture_output=True).returncode == 0


def folders_left(work):
    """What the runs left of their folders: only that of the command that
    sh could not run, with what sh said."""
    left = [name for name in os.listdir(work) if name.startswith("phone-test.")]
    said = [open("%s/%s/accessory.log" % (work, name)).read() for name in left
            if os.listdir("%s/%s" % (work, name)) == ["accessory.log"]]
    if len(left) != 1 or len(said) != 1 or "no-such-accessory" not in said[0]:
        return "the runs left %s" % left
    return None


def main():
    phone_test, faults = sys.argv[1], []
    with tempfile.TemporaryDirectory() as work:
        # The runs' folders go here; nothing builds but where asked to, and
        # then a stand-in for cmake only notes it.
        os.mkdir(work + "/bin")
        with open(work + "/bin/cmake", "w") as cmake:
            cmake.write('#!/bin/sh\necho "$@" >> %s/cmake.calls\n' % work)
        os.chmod(work + "/bin/cmake", 0o755)
        os.environ.update(TMPDIR=work, PHONE_TEST_SKIP_BUILD="1",
                          PATH=work + "/bin:" + os.environ["PATH"])
        runs = []
        rows = [(["--fault", fault] if fault else [], {failing} if failing else set(),
                 set(CASES[1:]) if fault == "ends-at-once" else set(), why, "")
                for fault, failing, why in ROWS]
        rows += [(["--late"] + late.split(), failing,
                  set(WALKED) if "shows a menu" in failing else set(), "phone-test: ", "")
                 for late, failing in LATE]
        rows.append(([], set(), set(), ROWS[0][2], SURVIVOR))
        for i, (options, failing, skipping, why, prefix) in enumerate(rows):
            junit, trace = "%s/%d.xml" % (work, i), "%s/%d.trace" % (work, i)
            command = prefix + " ".join([sys.executable, ACCESSORY, "{}"] + options)
            runs.append((options, failing, skipping, why, prefix, junit, trace, subprocess.Popen(
                [phone_test, "--junit", junit, "--trace", trace, "--run", command],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)))
        for options, failing, skipping, why, prefix, junit, trace, run in runs:
            output = run.communicate(timeout=120)[0]
            fault_found = row_fault(failing, skipping, why, run.returncode, output, junit) or \
                trace_fault(os.path.dirname(phone_test) + "/check-trace", trace,
                            "comes back after a drop" not in skipping) or \
                (prefix and survivor_left() and "a member that ignores SIGTERM outlived the run")
            print("faults_test: %s: %s" % (" ".join(options) or prefix or "no fault",
                                           fault_found or "as expected"))
            if fault_found:
                faults.append(fault_found if prefix else output)

        refused = refusals(phone_test, work)
        print("faults_test: bad command lines and scripts: %s" %
              ("not all refused" if refused else "refused"))
        faults += refused

        for name, check in [("a trace whose reader stops", stalled_trace),
                            ("a DEVICE", device_run),
                            ("a /dev//pts DEVICE that goes", pty_gone(spelled)),
                            ("a link to a pty that goes", pty_gone(linked)),
                            ("the phone-test ended by force", killed),
                            ("a full line as the line drops and the run ends", held_lines),
                            ("a build asked for", built_when_asked),
                            ("the runs' folders", lambda _, work: folders_left(work))]:
            fault_found = check(phone_test, work)
            print("faults_test: %s: %s" % (name, fault_found and "wrong" or "as expected"))
            if fault_found:
                faults.append(fault_found)
        subprocess.run(["pkill", "-KILL", "-f", SURVIVOR_SLEEP])
    for fault in faults:
        print(fault)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
