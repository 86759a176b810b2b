#!/usr/bin/env python3
"""The phone-test against accessories that answer at once, natively: the
clean one, and faulty ones that each fail exactly their case, side by side;
each timed rule from both sides of its bound; then, one at a time, runs
ended otherwise, DEVICEs, refusals, the build and the folders left.

  faults_test.py PHONE_TEST
"""
import fcntl
import os
import re
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
from relay_test import linked, number, number_given_again, refusal_faults, spelled, \
    until, written  # noqa: E402

ACCESSORY = os.path.join(ROOT, "testbed", "instant_accessory.py")
CLEAN = " ".join([sys.executable, ACCESSORY, "{}"])
CASES = ["registers", "shows a menu", "answers every pick", "every item reached",
         "comes back after a drop", "lines read as sent"]
PICKS, DROP, LINES = CASES[2:3], CASES[4:5], CASES[5:]
AVOID = "'Quit, don'\\''t save'"  # quoted for sh
ROWS = [  # the phone-test's options, the accessory's (or its command), the cases it fails and
    # skips, the words that say why
    ("", "", [], [], "phone-test: 6 passed"),
    ("", "--fault unanswered-pick", PICKS, [], '\n      pick 4, "Last" in "Slide 1/12"\n'),
    ("", "--fault no-return", DROP, [], "2 s away: no AT*EAM within 3000 ms; it showed"),
    ("", "--fault count-differs", LINES, [], "submenu declares 6 items and gives 5"),
    ("", "--fault lf-endings", LINES, [], "finding   line ended by LF alone"),
    ("", "--fault undeclared-utf8", LINES, [], "no character set was declared"),
    ("", "--fault unreachable-item", CASES[3:4], [],
     'reached in 14 picks: no pick led back to them\n      menu "Slide 12/12": "Right"\n'),
    ("", "--fault long-line", LINES, [], "YYY\\full\n"),  # named as traced, not by its rest
    ("", "--fault ends-at-once", CASES[:1], CASES[1:],
     "registers: the accessory's program ended (exit status 0)"),
    # A program that ends names no pick once the walk is over, nor one while it settles.
    ("", "--fault ends-at-return", DROP, [],
     "drop: the accessory's program ended (exit status 0); it wrote nothing"),
    ("", "printf 'AT*EAM=\"Slides\"\\r' > {} && printf 'AT*EASM=\"Main\",1,1,1,\"A\",1\\r' > {}"
     " && echo ending", CASES[1:2], CASES[2:5],
     "shows a menu: the accessory's program ended (exit status 0); its output is in "),
    ("", "--fault twin-menus", PICKS, [], '"Off" in "Fans"\n'),
    ("", "--fault itemless", CASES[1:2], CASES[2:4], 'shows a menu: "Main" has no item to pick'),
    ("--avoid *", "", CASES[1:2], CASES[2:4],
     'shows a menu: every item of "Slide 1/12" is avoided (--avoid)'),
    ("", "--fault placeholder", [], [], 'shows a menu: "Slide 1/12" with "Next"'),
    # Its menu, sent again every 20 ms, never settles: the walk begins at the start's window.
    ("--start-within 1000", "--fault changing-value", [], [],
     "reached: 22 items of 5 menus, each picked"),
    ("", "--fault fills-in", [], [], "reached: 17 items of 5 menus, each picked"),
    # Its menu, sent again every 500 ms, settles at once or by the start's window.
    ("--picks 1 --start-within 1000", "--fault dead-picks", CASES[2:4], [],
     "1 of 1 picks got no menu within"),
    # The same, but it reads each pick: its menu unchanged, sent again, answers none.
    ("--picks 1 --start-within 1000", "--fault dropped-picks", CASES[2:4], [],
     "1 of 1 picks got no menu within"),
    # The program's end ends the wait for a pick's answer at once.
    ("--reply-within 60000", "--fault quit-item", PICKS, CASES[3:5],
     'ended (exit status 0) after pick 13, "Quit, don\'t save" in "Slide 12/12": if that item '
     "ends it, keep the walk from it with --avoid " + AVOID),
    ("--avoid Qu?t*", "--fault quit-item", [], [], "17 items of 5 menus, each picked (1 avoided)"),
    ("", "--fault trailing-lines", [], [], "phone-test: 6 passed"),
    ("", "--fault control-chars", [], [], '"Slide 1/12\\x1B[2J" with'),
    ("--name accessory-one", "", [], [], "phone-test: 6 passed"),
]
# Each timed rule from both sides of its bound (the phone-test's options,
# the accessory's with the time, the bound in seconds, how far from it, the
# cases it fails and skips late, what a run says early and late), so that a
# bound a second off fails (a menu that came in time is walked), or, for the
# walk's settling, a quarter of a second off. They start once the rows
# above have ended, whose starts would hold them up.
WRAPPED = "stty -F {} raw && sleep 2.25 && exec " + CLEAN + " --late first %g"
TIMED = [
    ("", "--late first %g", 5, 0.75, CASES[:2], CASES[2:4], "", ""),
    ("", "--late return %g", 3, 0.75, DROP, [], "", ""),
    ("", "--late pick %g", 1, 0.75, PICKS, [], "", ""),
    ("--start-within 2000", "--late first %g", 2, 0.75, CASES[:2], CASES[2:4], "", ""),
    ("--return-within 1000", "--late return %g", 1, 0.75, DROP, [], "", ""),
    # The window starts at the accessory's own open, not at the wrapper's.
    ("--start-within 2000", WRAPPED, 2, 0.75, CASES[:2], CASES[2:4], "", ""),
    ("", "--fault placeholder --late placeholder %g", 0.5, 0.25, [], [], "17 items of 5 menus",
     "18 items of 6 menus"),
    ("", "--fault progress --late placeholder %g", 5, 0.75, CASES[1:2], CASES[2:4],
     'shows a menu: "Slide 1/12" with', '%" has no item to pick'),
]
LATE = [(options, accessory % (bound + side * off), failing * (side > 0), skipping * (side > 0),
         late_why if side > 0 else early_why)
        for options, accessory, bound, off, failing, skipping, early_why, late_why in TIMED
        for side in (-1, 1)]
# A script's expect waits for the start's window first, for the return's
# after a drop, and for the reply's after a pick, each from both sides (the
# script, the phone-test's options, the accessory's, each step's word and
# lines read as sent's).
FIRST = 'expect entry "Slides"\n'
PICKED = 'expect menu "Slide 1/12"\npick "Last"\nexpect menu "Slide 12/12"\n'
DROPPED = 'expect entry "Slides"\ndrop 0.1\nexpect entry "Slides"\n'
SCRIPTED = [
    (FIRST, "--start-within 2000", "--late first 1.25", ["PASS"] * 2),
    (FIRST, "--start-within 2000", "--late first 2.75", ["FAIL", "SKIP"]),
    (DROPPED, "--return-within 2000", "--late return 1.25", ["PASS"] * 4),
    (DROPPED, "--return-within 1000", "--late return 1.25", ["PASS", "PASS", "FAIL", "PASS"]),
    (PICKED, "", "--late pick 0.75", ["PASS"] * 4),
    (PICKED, "", "--late pick 1.25", ["PASS", "PASS", "FAIL", "PASS"]),
    ('expect entry "Slides"\ndrop 0.1\n' + PICKED, "", "--late pick 1.25",
     ["PASS"] * 4 + ["FAIL", "PASS"]),
]
# A member of the accessory's group that ignores SIGTERM, known by its
# sleep's length (and by nothing else: the phone-test's command line holds
# the same words).
SURVIVOR_SLEEP = "^sleep 3017.%d$" % os.getpid()
SURVIVOR = "(trap '' TERM; exec %s) & exec " % SURVIVOR_SLEEP[1:-1]
HELD = [  # a fault met by a drop and the run's end, and what the output and trace must hold
    ("full-menu", lambda output, _: "FAIL  lines read as sent: 2 findings on 2 of " in output and
     output.count("finding   submenu declares 6 items and gives 5") == 2),
    # The drop cut the line: the phone-test's doing, not the accessory's.
    ("cut-by-drop", lambda output, traced: "accessory AT\\gone" in traced and
     "PASS  lines read as sent" in output),
]
ACC = "touch STARTED {}"  # an accessory that leaves a mark when it is started
REFUSED = [  # the command line, and its one line on standard error
    ([], "usage: scripts/phone-test [OPTION...] (DEVICE | --run 'COMMAND')"),
    (["--run"], "phone-test: --run takes a value"),
    (["--picks", "0", "--run", ACC], "phone-test: --picks takes a number of picks from 1"),
    (["--picks", "100001", "--run", ACC], "phone-test: --picks takes a number of picks from 1"),
    (["--reply-within", "1.5", "--run", ACC],
     "phone-test: --reply-within takes milliseconds from 1 to 600000"),
    (["--bogus", "--run", ACC], "usage: scripts/phone-test"),
    (["/dev/a", "/dev/b"], "usage: scripts/phone-test"),
    (["--run", ACC, "/dev/a"], "phone-test: give a DEVICE or --run 'COMMAND', not both"),
    (["--run", "accessory"], "phone-test: --run 'COMMAND' takes {} where the path"),
    (["--trace", "/no/such/folder/t", "--run", ACC], "phone-test: /no/such/folder/t: the trace"),
    # A JUnit file on standard error is not closed as the run is refused.
    (["--junit", "/dev/stderr", "--trace", "/no/such/folder/t", "--run", ACC],
     "phone-test: /no/such/folder/t: the trace"),
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
    lines = (line.partition("  ") for line in output.splitlines())
    return {rest.split(": ")[0]: word for word, _, rest in lines
            if word in ("PASS", "FAIL", "SKIP", "ERROR")}


def expected(failing=(), skipping=()):
    """Each case's word, in order, for a run that fails and skips these."""
    return [(case, "FAIL" if case in failing else "SKIP" if case in skipping else "PASS")
            for case in CASES]


def junit_fault(path, found, name=None, wrote=None):
    """What is wrong with the JUnit file against the printed verdicts: its
    cases and counts, its suite's name (if given) as every case's class,
    and an output it names that is no longer there, or (if told whether the
    program wrote) one it names or leaves out wrongly."""
    try:
        suite = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        return "JUnit: %s" % error
    words = {"failure": "FAIL", "error": "ERROR", "skipped": "SKIP"}
    cases = {case.get("name"): next((word for tag, word in words.items()
                                     if case.find(tag) is not None), "PASS")
             for case in suite.findall("testcase")}
    counts = [str(sum(word == counted for word in found.values())) for counted in ("FAIL", "ERROR")]
    classes = {case.get("classname") for case in suite.findall("testcase")}
    # No case of these runs waits out a long window: what it waits for comes, or ends the wait.
    if suite.tag != "testsuite" or cases != found or \
            any(float(case.get("time")) > 30 for case in suite.findall("testcase")) or \
            [suite.get("failures"), suite.get("errors")] != counts or \
            name is not None and (suite.get("name"), classes) != (name, {name}):
        return "JUnit says %s, %s failures, %s errors, named %s" % (
            cases, suite.get("failures"), suite.get("errors"), suite.get("name"))
    named = [out.text.split(": ", 1)[1] for out in suite.iter("system-out")
             if out.text.startswith("the accessory's output: ")]
    if wrote is not None and bool(named) != wrote:
        return "JUnit names the accessory's output %s, though it wrote %s" % (named, wrote)
    return next(("JUnit names %s, which has gone" % out for out in named
                 if not os.path.exists(out)), None)


def untimed(text):
    return [line.split(None, 1)[1] for line in text.splitlines()]


def trace_fault(phone_test, path, dropped):
    """A run's trace: its news, no answer to a line the drop cut, check-trace's."""
    traced = untimed(open(path).read())
    news = [line for line in traced if line.startswith("device")]
    if news != (["device    gone", "device    back"] if dropped else []):
        return "the trace's news: %s" % news
    if "\\gone\nphone" in "\n".join(line for line in traced if not line.startswith("finding")):
        return "a line the drop cut answered: %s" % traced
    checked = untimed(subprocess.run([os.path.dirname(phone_test) + "/check-trace", path],
                                     capture_output=True, text=True).stdout)
    return None if checked == traced else "check-trace reads otherwise: %s" % [
        line for line in set(checked) ^ set(traced)][:4]


def row_fault(failing, skipping, why, status, output, junit, name=None):
    words = [word for _, word in expected(failing, skipping)]
    if why not in output or list(verdicts(output).items()) != expected(failing, skipping):
        return "not %r, or verdicts other than %s" % (why, words)
    if re.search("[\x00-\x09\x0b-\x1f\x7f]", output):
        return "a control character printed"
    if status != (1 if failing else 0):
        return "exit status %d" % status
    if not output.rstrip().endswith("phone-test: %d passed, %d failed, %d skipped" % tuple(
            words.count(word) for word in ("PASS", "FAIL", "SKIP"))):
        return "no closing line"
    return junit_fault(junit, verdicts(output), name, "; its output is in " in output)


def command_of(accessory):
    return accessory if "{}" in accessory else CLEAN + " " + accessory


def started(phone_test, rows, work):
    """Each row's run, side by side, and the name its files take."""
    named = [(row, "%s/%s" % (work, re.sub(r"[^\w.-]", "", row[0] + row[1][-40:]) or "clean"))
             for row in rows]
    return [(row, name, subprocess.Popen(
        [phone_test, "--junit", name + ".xml", "--trace", name + ".trace"] + row[0].split() +
        ["--run", command_of(row[1])], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
        text=True)) for row, name in named]


def judged(phone_test, runs):
    """Each run's output once it has ended, when it is not as its row says."""
    faults = []
    for (options, accessory, failing, skipping, why), name, run in runs:
        output = run.communicate(timeout=120)[0]
        suite = options.split()[1] if options.startswith("--name") else \
            os.path.basename(command_of(accessory).split()[0])
        fault_found = row_fault(failing, skipping, why, run.returncode, output, name + ".xml",
                                suite) \
            or trace_fault(phone_test, name + ".trace", "comes back after a drop" not in skipping)
        print("faults_test: %s: %s" % (" ".join([options, accessory]).strip() or "no fault",
                                       fault_found or "as expected"))
        faults += [output] if fault_found else []
    return faults


def scripts_judged(runs):
    """Each script's run once it has ended, when its steps are not as its row says."""
    faults = []
    for (_, _, _, words), (_, _, run) in zip(SCRIPTED, runs):
        output = run.communicate(timeout=120)[0]
        if list(verdicts(output).values()) != words:
            faults.append(output)
    return faults


def refusals(phone_test, work):
    """Bad command lines, scripts and terminals in use: no build asked for."""
    marker, plain = work + "/started", written(work + "/plain", "")
    cases = REFUSED + [(["--script", written("%s/bad%d.script" % (work, i), script)] + line,
                        "phone-test: %s/bad%d.script%s" % (work, i, said))
                       for i, (script, line, said) in enumerate(BAD_SCRIPTS)]
    cases = [([phone_test] + arguments, said) for arguments, said in cases]
    cases += [([ROOT + "/scripts/phone-test", device], said) for device, said in DEVICES]
    # Run without the script's checks, the tool refuses a file and another's
    # terminal itself too, and its own terminal (here its session's).
    cases += [([phone_test, device], said) for device, said in DEVICES[-2:]]
    cases.append((["setsid", "--ctty", phone_test, "/dev/tty"], "phone-test: /dev/tty: " + IN_USE))
    cases = [([word.replace("STARTED", marker).replace("PLAIN", plain) for word in command],
              said.replace("PLAIN", plain)) for command, said in cases]
    faults = refusal_faults(
        2, lambda said, wanted: len(said.splitlines()) == 1 and said.startswith(wanted), cases,
        lambda: os.path.exists(marker) or os.path.getsize(plain) != 0)
    return faults + ["scripts/phone-test built, though PHONE_TEST_SKIP_BUILD is set"] * \
        os.path.exists(work + "/cmake.calls")


def built_when_asked(_, work):
    """scripts/phone-test builds when asked, once no other build holds the lock."""
    calls, lock = work + "/cmake.calls", open(ROOT + "/build/trace.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    run = subprocess.Popen([ROOT + "/scripts/phone-test", "/dev/does-not-exist"], env={
        name: value for name, value in os.environ.items() if name != "PHONE_TEST_SKIP_BUILD"},
        stderr=subprocess.PIPE, text=True)
    held = until(lambda: os.path.exists(calls), 1)
    lock.close()
    said = run.communicate(timeout=20)[1]
    built = open(calls).read().count("\n") if os.path.exists(calls) else 0
    if held or built != 2 or run.returncode != 2:
        return "%s, %d cmake calls, status %d: %r" % (
            "built while the lock was held" if held else "waited", built, run.returncode, said)
    return None


def stalled_trace(phone_test, _):
    """The trace on standard output, a pipe whose reader stops at once: the
    run ends as ever, its verdicts and the trace's end on standard error."""
    reader, writer = os.pipe()
    fcntl.fcntl(writer, fcntl.F_SETPIPE_SZ, 4096)  # the long lines overfill it
    run = subprocess.Popen([phone_test, "--trace", "-", "--run", CLEAN + " --fault long-line"],
                           stdout=writer, stderr=subprocess.PIPE, text=True)
    os.close(writer)
    held = not until(lambda: run.poll() is not None, 20)
    traced = os.read(reader, 4096)
    os.close(reader)  # one held up goes on now, and stops its accessory
    said = run.communicate(timeout=20)[1]
    ended = "phone-test: -: its reader took no more; the trace is incomplete from line "
    if held or run.returncode != 1 or said.count(ended) != 1 or not traced.startswith(b"   0.") \
            or not said.rstrip().endswith("phone-test: 5 passed, 1 failed, 0 skipped"):
        return "the trace's reader stopped: %s%r" % ("held up for 20 s: " * held, said[-300:])
    return None


def held_lines(phone_test, work):
    """Lines the drop and the run's end meet unfinished or full, judged as traced."""
    script = written(work + "/held.script",
                     'expect menu "Slide 1/12"\ndrop 0.2\nexpect menu "Slide 1/12"\n')
    for fault, holds in HELD:
        trace = "%s/%s.trace" % (work, fault)
        run = subprocess.run([phone_test, "--script", script, "--trace", trace, "--run", CLEAN +
                              " --fault " + fault], capture_output=True, text=True, timeout=60)
        found = trace_fault(phone_test, trace, True)
        # Named by their text, the step that repeats told apart.
        named = [line.split(":")[0] for line in run.stdout.splitlines() if line[:6] == "PASS  "]
        if named[:3] != ['PASS  expect menu "Slide 1/12"', "PASS  drop 0.2",
                         'PASS  expect menu "Slide 1/12" (2)']:
            found = "the steps' names: %s" % named
        if found or not holds(run.stdout, "\n".join(untimed(open(trace).read()))):
            return "%s: %s" % (fault, found or run.stdout)
    return None


def on_a_pty_pair(phone_test, prefix, named, options=(), fault=()):
    """socat's pty pair (`prefix` device and peer), the accessory on the peer,
    the phone-test on the device as named(device) names it, its JUnit file
    `prefix`junit.xml: the processes, the device's pty and its name given."""
    device, peer = prefix + "device", prefix + "peer"
    pair = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + device,
                             "pty,raw,echo=0,link=" + peer])
    if not until(lambda: os.path.exists(device) and os.path.exists(peer), 10):
        pair.kill()
        raise TimeoutError("socat made no pty pair within 10 s")
    accessory = subprocess.Popen([sys.executable, ACCESSORY, peer] + list(fault))
    given = named(device)
    return pair, accessory, subprocess.Popen(
        [phone_test, "--junit", prefix + "junit.xml"] + list(options) + [given],
        stdout=subprocess.PIPE, text=True), os.path.realpath(device), given


def device_run(phone_test, work):
    """The clean accessory on a DEVICE: every case but the drop, skipped; one
    that never speaks fails within the start's window, as a program would."""
    faults = []
    for i, (options, fault, failing, skipping, why) in enumerate([
            ([], [], [], DROP, "cannot take the line of "),
            (["--start-within", "1000"], ["--fault", "ends-at-once"], CASES[:2], CASES[2:],
             "registers: no AT*EAM within 1000 ms of the line opening")]):
        prefix = "%s/device%d-" % (work, i)
        pair, accessory, run, _, _ = on_a_pty_pair(phone_test, prefix, str, options, fault)
        try:
            output = run.communicate(timeout=20)[0]
        except subprocess.TimeoutExpired:
            run.kill()
            output = run.communicate()[0] + "(waited 20 s for its end)"
        for process in (accessory, pair):
            process.kill()
        faults += [fault for fault in [row_fault(failing, skipping, why, run.returncode, output,
                                                 prefix + "junit.xml")] if fault]
    return faults


def pty_gone(phone_test, work, naming):
    """A pty DEVICE, named as naming(pts, work) names it, whose pair ends
    while a pick waits: that case fails, the rest are skipped; its number,
    given again, is not opened while no session has it, nor once one does."""
    prefix, trace, spare, leader = "%s/%s-" % (work, naming.__name__), work + "/pts.trace", [], None
    open(trace, "w").close()  # read before the phone-test makes it
    pair, accessory, run, pts, given = on_a_pty_pair(
        phone_test, prefix, lambda device: naming(os.path.realpath(device), work),
        ["--trace", trace], ["--fault", "unanswered-pick"])
    try:
        def traced(words, seconds=10):
            return until(lambda: words in open(trace).read(), seconds)
        if not traced("phone     *EAMI: 4"):
            return "pick 4 never sent"
        # The accessory's link goes first: it opens its line again by it, and
        # the number it led to goes to the next that asks (another test's).
        os.unlink(prefix + "peer")
        pair.kill()
        if not traced("device    gone"):
            return "no news of the device going"
        spare, far, leader, back = number_given_again(
            pts, given, lambda: traced("device    back", 1.5))
        terminal = spare[spare.index(far) - 1]
        tty.setraw(far)
        os.write(terminal, b"AT\r")
        until(lambda: run.poll() is not None or select.select([terminal], [], [], 0)[0], 3)
        if back or select.select([terminal], [], [], 0)[0]:
            return "%s opened again: %s" % (pts, "no session had it" if back else "it answered")
        output = run.communicate(timeout=10)[0]
        fault = row_fault(PICKS, CASES[3:5], "%s has gone, and is not opened again" % given,
                          run.returncode, output, prefix + "junit.xml")
        return fault or ("device    gone for good: " not in open(trace).read() and output) or None
    finally:
        for fd in spare:
            os.close(fd)
        for process in (run, accessory, pair) + ((leader,) if leader else ()):
            process.kill()
            process.wait()


def opened_and_heard(phone_test, work):
    """The program's open and its first line taken at one wake, the
    phone-test held up meanwhile (as on a busy machine): the start's window
    begins at that open, not at the run's start."""
    sent, entry = work + "/sent", written(work + "/entry.script", 'expect entry "Slides"\n')
    command = "sleep 1; exec 3<>{}; printf 'AT\\r' >&3; touch %s; head -c 3 <&3 >/dev/null; " \
        "sleep 0.1; printf 'AT*EAM=\"Slides\"\\r' >&3; exec sleep 30" % sent
    run = subprocess.Popen([phone_test, "--script", entry, "--reply-within", "1", "--start-within",
                            "500", "--run", command], stdout=subprocess.PIPE, text=True)
    said = run.stdout.readline()  # the program has started
    os.kill(run.pid, signal.SIGSTOP)
    held = until(lambda: os.path.exists(sent), 10)
    os.kill(run.pid, signal.SIGCONT)
    output = said + run.communicate(timeout=20)[0]
    if not held or run.returncode != 0 or 'PASS  expect entry "Slides"' not in output:
        return "opened and heard at once: status %d, %r" % (run.returncode, output)
    return None


def running(phone_test, work, options=()):
    """A run of the clean accessory, its output appended to a file that held
    a line, once it has registered (the cases', or a script's first step):
    the run, the file's text, its line. Its standard input is closed, as a
    CI step may start it: the line must not take its place."""
    out = written("%s/run%d.out" % (work, len(os.listdir(work))), "before\n")
    with open(out, "a") as appended:
        run = subprocess.Popen([phone_test] + list(options) + ["--run", CLEAN], stdout=appended,
                               preexec_fn=lambda: os.closerange(0, 1))
    if not until(lambda: re.search("PASS  (registers|expect entry)", open(out).read()) or
                 run.poll() is not None, 60) \
            or run.poll() is not None:
        end_now(run)
        raise TimeoutError("the accessory never registered: %r" % open(out).read()[-300:])
    return run, lambda: open(out).read(), open(out).read().split("` on ")[1].split(";")[0]


def state(pid):
    """A process's state (Z: ended, not yet reaped), or None once reaped."""
    try:
        return open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def killed(phone_test, work, dropped=False):
    """The phone-test killed: the accessory ends, the folder and link go, and
    so has an earlier run's JUnit file; and while its keeper is held up here,
    before it has removed the link, the line's number goes to no new pty,
    which the accessory would open by it: the first line's, or the one made
    again after a drop."""
    # The line stays while the script waits.
    steps = 'expect entry "Slides"\n' + ('drop 0.1\nexpect entry "Slides"\n' if dropped else "")
    held = written(work + "/held.script", steps + "wait 60\n")
    junit = written(work + "/killed.xml", "an earlier run's\n")
    run, output, link = running(phone_test, work, ["--junit", junit, "--script", held])
    if dropped and not until(lambda: 'PASS  expect entry "Slides" (2)' in output(), 10):
        return "no entry after the drop: %r" % output()[-300:]
    accessory = ["-f", ACCESSORY + " " + link]  # its processes, sh's too
    pts, line = os.path.realpath(link), os.stat(link).st_rdev
    children = pids(["-P", str(run.pid)])
    keeper = next((int(pid) for pid in children if os.getsid(int(pid)) == int(pid)), None)
    if keeper is None:
        end_now(run)
        return "no keeper among the phone-test's children: %s" % children
    # Started with standard input closed: neither takes a line or an output
    # of the run's for its own.
    streams = [(run.pid, 0)] + [(keeper, fd) for fd in range(3)]
    held = [(pid, fd, os.readlink("/proc/%d/fd/%d" % (pid, fd))) for pid, fd in streams]
    if any(target != "/dev/null" for _, _, target in held):
        end_now(run)
        return "standard streams of the phone-test and its keeper: %s" % held
    os.kill(keeper, signal.SIGSTOP)
    end_now(run)
    ptys, fault = [], "killed, it left %s" % junit if os.path.exists(junit) else None
    try:
        # Its far end hung up, the accessory closes it and tries the link
        # again and again. (Its descriptor's name has " (deleted)" by then.)
        if not until(lambda: not any(rdev("/proc/%s/fd/%s" % (pid, fd)) == line
                                     for pid in pids(accessory) for fd in fds(pid)), 5):
            return "the accessory kept %s after the phone-test was killed" % pts
        while not ptys or number(os.ttyname(ptys[-1])) < number(pts) and len(ptys) < 800:
            ptys += os.openpty()
        # Whoever took it: a test beside this one may ask first.
        if os.path.exists(pts):
            fault = "killed, its line's number %s went to a new pty before the link went" % pts
    finally:
        os.kill(keeper, signal.SIGCONT)
    try:
        if until(lambda: not pids(accessory) and not os.path.lexists(os.path.dirname(link)), 4):
            return fault
    finally:
        for end in ptys:
            os.close(end)
    left = subprocess.run(["pkill", "-KILL", "-e"] + accessory, capture_output=True, text=True)
    return "ended by force: left %r, its link %s, its folder %s" % (
        left.stdout, os.path.lexists(link), os.path.lexists(os.path.dirname(link)))


def end_now(run):
    run.kill()
    run.wait()


def pids(pattern):
    return subprocess.run(["pgrep"] + pattern, capture_output=True, text=True).stdout.split()


def fds(pid):
    try:
        return os.listdir("/proc/%s/fd" % pid)
    except OSError:
        return []


def rdev(path):
    try:
        return os.stat(path).st_rdev
    except OSError:
        return None


def survivor_left():
    return bool(pids(["-f", SURVIVOR_SLEEP]))


def hung_up(phone_test, work):
    """SIGHUP ends a run as SIGINT does: status 130, the trace's summary and
    the JUnit file, on /dev/stdout appended to a file that keeps its text."""
    trace = work + "/hung-up.trace"
    run, output, _ = running(phone_test, work, ["--junit", "/dev/stdout", "--trace", trace])
    run.send_signal(signal.SIGHUP)
    if run.wait(20) != 130 or not output().startswith("before\n") or \
            "</testsuite>" not in output() or " summary " not in open(trace).read():
        return "hung up: status %d, %r" % (run.returncode, output()[-300:])
    return None


def stopped(phone_test, work):
    """SIGTERM while the walk waits for a pick's answer: that case is an
    error, and counted as one, the rest skipped but lines read as sent,
    status 130; SIGTERM while the program is being ended (a member that
    ignores SIGTERM holds that up for 2 s) gives 130 all the same."""
    junit, faults = work + "/stopped.xml", []
    entry = written(work + "/entry.script", 'expect entry "Slides"\n')
    for options, accessory, running_case, words in [
            (["--start-within", "1000"], CLEAN + " --fault dead-picks", "PASS  shows a menu",
             ["PASS"] * 2 + ["ERROR", "SKIP", "SKIP", "PASS"]),
            (["--script", entry], SURVIVOR + CLEAN, "PASS  lines read as sent", ["PASS"] * 2)]:
        run = subprocess.Popen([phone_test, "--junit", junit] + options + ["--run", accessory],
                               stdout=subprocess.PIPE, text=True)
        output = ""
        for line in iter(run.stdout.readline, ""):
            output += line
            if line.startswith(running_case):
                run.send_signal(signal.SIGTERM)
        run.wait()
        found = verdicts(output)
        if run.returncode != 130 or list(found.values()) != words or \
                "ERROR" in words and "answers every pick: the run was stopped (SIGTERM)" not in output:
            faults.append("SIGTERM after %r: status %d, %r" % (running_case, run.returncode, output))
        faults += [fault for fault in [junit_fault(junit, found)] if fault]
    return faults


def refused_junit(phone_test, work):
    """A run refused once its JUnit file is named leaves none, not even one
    from an earlier run, nor a file of its own beside it: sh cannot run the
    command, the device cannot be opened (by the tool, and by the script),
    the trace cannot be written; nor does one whose file cannot be put in
    place at the end (a folder made there meanwhile), and it says why."""
    junit, folder, faults = work + "/refused/junit.xml", work + "/refused", []
    entry = written(work + "/entry.script", 'expect entry "Slides"\n')
    os.mkdir(folder)
    for command in ([phone_test, "--junit", junit, "--run", "no-such-accessory {}"],
                    [phone_test, "--junit", junit, "/dev/does-not-exist"],
                    [phone_test, "--junit", junit, "--trace", "/no/such/folder/t", "--run", ACC],
                    [ROOT + "/scripts/phone-test", "--junit", junit, "/dev/does-not-exist"],
                    [phone_test, "--junit", junit, "--script", entry, "--run",
                     "mkdir %s && exec %s" % (junit, CLEAN)]):
        written(junit, "an earlier run's\n")
        ran = subprocess.run(command, capture_output=True, text=True, timeout=20,
                             env=dict(os.environ, TMPDIR=folder))
        left = [name for name in os.listdir(folder)
                if name.startswith("junit") and not os.path.isdir(folder + "/" + name)]
        if ran.returncode != 2 or left or "phone-test: " not in ran.stderr:
            faults.append("%s: status %d, left %s" % (command, ran.returncode, left))
    return faults


def helps(phone_test, _):
    """--help: the options, the cases and the exit statuses; check-trace's."""
    faults = []
    for command, words in [
            ([ROOT + "/scripts/phone-test", "--help"],
             CASES + ["--avoid", "--start-within", "--return-within", "--name", ", 130 when",
                      "walk makes (100)", "may take (1000)", "its end (5000)", "returns (3000)",
                      "exit status: 0 when"]),
            ([os.path.dirname(phone_test) + "/check-trace", "--help"], ["usage: check-trace"])]:
        ran = subprocess.run(command, capture_output=True, text=True, timeout=20)
        if ran.returncode != 0 or [word for word in words if word not in ran.stdout]:
            faults.append("%s: status %d, %r" % (command, ran.returncode, ran.stdout))
    return faults


def sh_kept(phone_test, _):
    """sh, ended on its own while a member of its group that ignores SIGTERM
    runs on, stays unreaped (its zombie keeps the number the run's end
    signals) until the group has gone, the member too (SIGKILL 2 s later)."""
    run = subprocess.Popen([phone_test, "--run", SURVIVOR + CLEAN + " --fault ends-at-once"],
                           stdout=subprocess.PIPE, text=True)
    if not any("FAIL  registers" in line for line in iter(run.stdout.readline, "")):
        return "sh kept: the run did not say its program ended"
    while run.poll() is None:
        # Unreaped here until poll(), the run's /proc stays while this looks.
        children = open("/proc/%d/task/%d/children" % (run.pid, run.pid)).read().split()
        if "Z" not in [state(int(child)) for child in children] and survivor_left():
            run.wait()
            return "sh reaped while a member of its group ran"
        time.sleep(0.01)
    if not until(lambda: not survivor_left(), 2):
        return "a member that ignores SIGTERM outlived the run"
    return None


def folders_left(_, work):
    """Only the folders of the programs that wrote are left, with their logs:
    the command sh could not run, and the one that said it was ending."""
    left = [name for name in os.listdir(work) if name.startswith("phone-test.")]
    said = sorted(open("%s/%s/accessory.log" % (work, name)).read() for name in left
                  if os.listdir("%s/%s" % (work, name)) == ["accessory.log"])
    if len(left) != 2 or len(said) != 2 or said[0] != "ending\n" or \
            "no-such-accessory" not in said[1]:
        return "the runs left %s" % left
    return None


def main():
    phone_test, faults = sys.argv[1], []
    with tempfile.TemporaryDirectory() as work:
        # The runs' folders go here; nothing builds but where asked to, and
        # then a stand-in for cmake only notes it.
        os.mkdir(work + "/bin")
        os.chmod(written(work + "/bin/cmake", '#!/bin/sh\necho "$@" >> %s/cmake.calls\n' % work),
                 0o755)
        os.environ.update(TMPDIR=work, PHONE_TEST_SKIP_BUILD="1",
                          PATH=work + "/bin:" + os.environ["PATH"])
        faults += judged(phone_test, started(phone_test, ROWS, work))
        late = started(phone_test, LATE, work)
        scripts = started(phone_test, [
            ("--script %s %s" % (written("%s/scripted%d.script" % (work, i), steps), options),
             accessory) for i, (steps, options, accessory, _) in enumerate(SCRIPTED)], work)
        for name, check in [("bad command lines, scripts and terminals", refusals),
                            ("a trace whose reader stops", stalled_trace),
                            ("SIGHUP", hung_up),
                            ("SIGTERM in the walk and in the program's end", stopped),
                            ("a refused run's JUnit file", refused_junit),
                            ("--help", helps),
                            ("a group member that ignores SIGTERM", sh_kept),
                            ("an open and a line at one wake", opened_and_heard),
                            ("a DEVICE", device_run),
                            ("a /dev//pts DEVICE that goes", lambda *run: pty_gone(*run, spelled)),
                            ("a link to a pty that goes", lambda *run: pty_gone(*run, linked)),
                            ("the phone-test ended by force", killed),
                            ("the same after a drop", lambda *run: killed(*run, dropped=True)),
                            ("a line the drop and the end meet unfinished", held_lines),
                            ("a build asked for", built_when_asked),
                            ("the late runs", lambda *_: judged(phone_test, late)),
                            ("the scripts' windows", lambda *_: scripts_judged(scripts)),
                            ("the runs' folders", folders_left)]:
            try:
                found = check(phone_test, work)
            except TimeoutError as waited_for:
                found = str(waited_for)
            print("faults_test: %s: %s" % (name, "wrong" if found else "as expected"))
            faults += [found] if isinstance(found, str) else found or []
        subprocess.run(["pkill", "-KILL", "-f", SURVIVOR_SLEEP])
    for fault in faults:
        print(fault)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
