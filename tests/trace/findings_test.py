#!/usr/bin/env python3
"""The findings end to end: each row's bytes are sent on one end of a pty
pair, the trace relay takes the other end as its device, and the program
under Wine answers on the relay's pty as COM4:. Each row must be traced
exactly as sent, answered with one OK for each line the trace shows the
phone taking, timed from the trace's start, followed by the findings it
names and no others, all of it in the trace by the time the phone's answer
has arrived (a trace watched live shows it at once); the summary counts
them, and check-trace prints the same trace again from the file. The rows
hold each rule at its edge, from both sides.

  findings_test.py TRACE_TOOLS REMOTE_EXE      (WINEPREFIX: the null prefix)
"""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

PAUSE = None  # the accessory pauses for 300 ms, longer than the phone waits
LONG = b',"' + b"I" * 60 + b'"'  # an item of 63 units, with its quotes and comma
ROWS = [  # what the accessory sends, and the findings after it, in order
    ([b'AT*EAM="Caf\xe9"\r\r'], []),  # 8859-1 before any declaration; the second CR
    ([b"AT\r\nAT+CSCS?\r"], []),  # CR LF line ends
    ([b'AT*EASM="Men\xfc",1,1,2,"K\xe4se","M\xfcller"\r'], []),  # no trailing ,1
    ([b'AT*EASM="Sh', PAUSE, b'ow",1,1,1,"A",1\r'],
     ["a pause of more than 200 ms inside the line", "the rest of the line cut before"]),
    ([b"AT+CLIP=" + b"1" * 2039 + b"\r"], ["AT+CLIP: the phone answers OK"]),  # 2047 bytes: whole
    ([b"AT+X" + b"Y" * 2044 + b"\r"], ["line over 2047 bytes", "the rest of the line cut before"]),
    ([b"A\nT\0\rAT\0\r"], ["1 LF and 1 NUL bytes in the line: the phone drops them",
                          "1 NUL byte in the line: the phone drops them"]),
    ([b"AT\n", PAUSE, b"\nAT\r"],  # that LF follows no CR
     ["line ended by LF alone: the phone took it only after a 200 ms pause",
      "1 LF byte in the line: the phone drops them"]),
    ([b'AT*EASM="M",1,1,5,"A","B","C","D",1\r'],
     ["submenu declares 5 items and gives 4: the phone shows 4"]),
    ([b'AT*EASM="M",1,1,1,"A","Caf\xc3\xa9' + b"I" * 60 + b'"\r'],  # no text past the count
     ["submenu declares 1 items and gives 2: the phone shows 1"]),
    ([b'AT*EASM="M",1,0,2,"A","B"\r'], ["selection 0 is outside the items the phone shows (1..2)"]),
    ([b'AT*EASM="M",1,2,2,"A","B"\r'], []),
    ([b'AT*EASM="M",1,3,2,"A","B",1\r'],
     ["selection 3 is outside the items the phone shows (1..2): it selects no item"]),
    ([b'AT*EASM="M",1,3,3,"A","B"\r'], ["submenu declares 3 items and gives 2: the phone shows 2",
                                        "selection 3 is outside the items the phone shows (1..2)"]),
    ([b'AT*EASM="M",2,1,1,"A",1\r'], ["the number after the title is 2, not 1: the phone shows"]),
    ([b'AT*EASM="M",0,1,1,"A"\r'], ["the number after the title is 0, not 1: the phone shows"]),
    ([b'AT*EASM="M",1,one,1,"A",1\r'], ["the numbers after the title cannot be read"]),
    ([b'AT*EASM="' + b"T" * 63 + b'",1,1,1,"' + b"I" * 63 + b'"\r'], []),
    ([b'AT*EASM="' + b"T" * 64 + b'",1,1,1,"' + b"I" * 64 + b'",1\r'],
     ["title is 64 characters: the phone shows its first 63",
      "item 1 is 64 characters: the phone shows its first 63"]),
    ([b'AT*EASM="' + b"T" * 62 + b'\xc3\xa9",1,1,1,"A"\r'],  # the phone shows the first byte
     ["text reads as UTF-8, but no character set", "title is 64 characters: the phone shows"]),
    ([b'AT*EASM="' + b"T" * 63 + b'\xc3\xa9",1,1,1,"A"\r'], ["title is 65 characters"]),
    ([b'AT*EASM="M",1,1,1,"A\r'], ["item 1 has no closing quote: the phone leaves it out"]),
    ([b'AT*EASM="Empty",1,1,0,1\rAT*EASM="Empty",1,0,0,1\r'], []),  # no item, none selected
    ([b'AT*EASM="M,1,1,1\r'], ["title has no closing quote: the phone shows an empty list"]),
    ([b'AT*EASM="M",1,1,4' + LONG * 3 + b',"' + b"I" * 50 + b'"\r'], []),  # 259 units
    ([b'AT*EASM="M",1,1,4' + LONG * 3 + b',"' + b"I" * 51 + b'"\r'],
     ["submenu line is 260 characters: the phone keeps 259 and shows 3 of its 4 items"]),
    ([b'AT*EASM="M",1,1,5' + LONG * 4 + b',"Caf\xc3\xa9' + b"I" * 60 + b'"\r'],
     ["submenu line is 337 characters: the phone keeps 259 and shows 3 of its 5 items"]),
    ([b'AT*EASM="' + b"T" * 249 + b'",1,1,1,"A"\r'],  # the title's quote kept, the numbers not
     ["title is 249 characters: the phone shows its first 63",
      "submenu line is 269 characters: the phone keeps 259 and shows no item of its 1 items"]),
    ([b'AT*EASM="' + b"T" * 250 + b'",1,1,1,"A"\r'],
     ["submenu line is 270 characters: the phone keeps 259 and shows an empty list"]),
    ([b'AT*EAM="Slides\r'], ["entry name has no closing quote: the phone takes the rest"]),
    ([b'AT*EAM="Slides",1\r'], ["after the entry name's closing quote: the phone ignores `,1`"]),
    ([b'AT*EAM="' + b"N" * 259 + b'"\r'], []),
    ([b'AT*EAM="' + b"N" * 258 + b'\xc3\xa9"\r'],  # its last unit shown: the first byte
     ["entry name is 260 characters: the phone keeps its", "text reads as UTF-8, but no"]),
    ([b'AT*EAM="' + b"N" * 259 + b'\xc3\xa9"\r'], ["entry name is 261 characters"]),
    ([b'AT*EASM="Caf\xc3\xa9",1,1,1,"A",1\r'],
     ['no character set was declared: the phone shows it as 8859-1; declare AT+CSCS="UTF-8"']),
    ([b'AT+CSCS="KOI8-R"\r'], ['a character set the phone does not support: it keeps "8859-1']),
    ([b'AT+CSCS="8859-1"\rAT*EASM="Caf\xc3\xa9",1,1,1,"A"\r'], []),  # declared: meant so
    ([b'AT+CSCS="UTF-8"\rAT*EASM="\xc5\x81\xc3\xb3d\xc5\xba",1,1,1,"\xe2\x82\xac",1\r'], []),
    ([b'AT*EASM="\xc3(",1,1,1,"\xff",1\r'], ['text holds 2 pieces that are no "UTF-8" character']),
    ([b'AT*EASM="' + b"T" * 62 + b'\xff",1,1,1,"A"\r'], ['text holds 1 piece that is no "UTF-8"']),
    ([b'AT*EASM="' + b"T" * 63 + b'\xff",1,1,1,"A"\r'], ["title is 64 characters"]),
    ([b'AT*EASM="M",1,1,1,"A","\xff"\r'], ["submenu declares 1 items and gives 2"]),
    ([b"AT+CMER=3,0\rAT+CMER=0\rATZ\rATI\\\r"],
     ["AT+CMER: the phone answers OK and does nothing", "ATZ: the phone answers OK and does",
      "ATI\\x5C: the phone answers OK and does nothing"]),
]
UTF8_MENU = b'AT*EASM="\xc5\x81\xc3\xb3d\xc5\xba",1,1,1,"A",1\r'
FULL = b'AT*EASM="T",1,3,3,"A","' + b"B" * 2021 + b'",1'  # fills the phone's 2047 bytes
TAKEN_FULL = ["submenu declares 3 items and gives 2: the phone shows 1",
              "selection 3 is outside the items the phone shows (1..1)",
              "submenu line is 2047 characters: the phone keeps 259 and shows 1 of its 2 items"]
LF_LAST = "line ended by LF alone: the phone took it only as it filled its 2047 bytes"
AWAY, AGAIN = "the device goes and comes back", "the program starts again"
BURST = b"".join(b'AT*EASM="Burst %d",1,1,1,"A",1\r' % i for i in range(400))
# After the rows, where a session starts afresh: the device going keeps the
# character set, the program started again forgets it; the notes told once
# a session are told again after either. The device goes after what it
# sent (PAUSE: once the line before is taken), whose findings come before
# the news: a line that filled the buffer, with nothing after it, was the
# line the phone took. The device then goes inside a line, with lines still
# on their way to the program, which must get them.
STEPS = [
    ([b'AT+CSCS="UTF-8"\rAT+CGMI\r'], ["AT+CGMI: the phone answers OK and does nothing"]),
    (AWAY, [b'AT*EASM="Sh', PAUSE, b"\n"], ["a pause of more than 200 ms inside the line"]),
    ([UTF8_MENU], []),
    (AWAY, [FULL], TAKEN_FULL),
    ([b"AT+CGMI\r"], ["AT+CGMI: the phone answers OK and does nothing"]),
    AGAIN,
    ([UTF8_MENU], ['no character set was declared: the phone shows it as 8859-1']),
]
GONE = ([BURST + b'AT*EASM="Gon', b"e"], ["the device went inside the line"])
# What follows a line that filled the buffer in a trace, where nothing but
# bytes the phone drops follow it: it was the line the phone took, whole.
HELD_TAILS = [  # the line after it ("": the trace ends), and the findings on it
    ("accessory \\x0A\\pause", [LF_LAST] + TAKEN_FULL),
    ("accessory \\x0A\\gone", [LF_LAST] + TAKEN_FULL),
    ("accessory \\x00\\pause", ["1 NUL byte in the line: the phone drops them"] + TAKEN_FULL),
    ("device    gone", TAKEN_FULL),
    ("port      closed by the phone", TAKEN_FULL),
    ("", TAKEN_FULL),
]
SENTINEL, SENTINEL_ANSWER = b"AT+CSCS=?\r", b'+CSCS: ("'  # clean, and answered its own way
KEY = r"HKCU\Software\Tarvane\Velorine\ZezevevedArivez"
MARKER = r"\\(pause|full|gone|end)$"


def shown(data):
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02X" % b for b in data)


def entries(path):
    """(seconds, side, text) for each whole line of the trace."""
    lines = open(path).read().split("\n")[:-1]
    return [(float(m[1]), m[2].strip(), m[3])
            for m in (re.fullmatch(r" *(\d+\.\d{3}) (.{9}) (.*)", line) for line in lines)]


def until(condition, what):
    end = time.monotonic() + 20
    while not condition():
        if time.monotonic() > end:
            raise TimeoutError(what)
        time.sleep(0.01)


def findings_fault(expected, lines):
    """Whether the findings among `lines` are those named, in order."""
    found = [text for _, side, text in lines if side == "finding"]
    if len(found) != len(expected) or any(e not in f for e, f in zip(expected, found)):
        return "findings %r" % found
    return None


def row_fault(row, expected, lines, sent_at, answered_at, answers):
    """What is wrong with a row's bytes, findings or times in the trace, or
    with the phone's answers to it (one OK for each line it took, when
    counted): the phone must take the lines where the trace cuts them."""
    texts = [text for _, side, text in lines if side == "accessory"]
    traced = "".join(re.sub(MARKER, "", t) + ("" if re.search(MARKER, t) else "\\x0D")
                     for t in texts)
    times = [at for at, side, _ in lines if side == "accessory"]
    if traced != shown(b"".join(part for part in row if part)):
        return "traced as %r" % texts
    taken = [t for t in texts if re.sub(r"\\x0A|\\x00|" + MARKER, "", t)]
    if answers is not None and answers != len(taken):
        return "%d OK for the %d lines the phone took" % (answers, len(taken))
    fault = findings_fault(expected, lines)
    if fault:
        return fault
    if not all(sent_at - 0.5 <= at <= answered_at + 0.001 for at in times):
        return "times %r; sent at %.3f, answered at %.3f" % (times, sent_at, answered_at)
    return None


class Line:
    """The accessory's end of the pty pair that the relay takes as its device."""

    def __init__(self, work):
        self.device, self.path, self.received = work + "/device", work + "/peer", b""
        self.pair, self.peer = None, None
        self.come()

    def come(self):
        self.pair = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + self.device,
                                      "pty,raw,echo=0,link=" + self.path])
        until(lambda: os.path.exists(self.device) and os.path.exists(self.path), "no pty pair")
        self.peer = os.open(self.path, os.O_RDWR | os.O_NOCTTY)

    def go(self):
        """Kills the pair, its links gone first: they would lead to the next
        terminals."""
        for path in (self.device, self.path):
            os.remove(path) if os.path.lexists(path) else None
        self.pair.kill()
        self.pair.wait()
        if self.peer is not None:
            os.close(self.peer)
        self.peer = None

    def answered(self, before):
        while select.select([self.peer], [], [], 0)[0]:
            self.received += os.read(self.peer, 65536)
        return self.received.count(SENTINEL_ANSWER) > before and self.received.endswith(b"OK\r")

    def ask_until_answered(self):
        while not select.select([self.peer], [], [], 1)[0]:
            os.write(self.peer, b"AT\r")


def in_order(lines, wanted):
    """Whether the (side, text) lines `wanted` are among `lines` in that order."""
    rest = iter((side, text) for _, side, text in lines)
    return all(line in rest for line in wanted)


def start_program(remote):
    return subprocess.Popen(["wine", remote], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def session(tools, remote, work, trace):
    """Plays the rows, the steps and the device going inside a line; their faults."""
    line = Line(work)
    link = os.environ["WINEPREFIX"] + "/dosdevices/com4"
    subprocess.run(["wine", "reg", "add", KEY, "/v", "COMPort", "/t", "REG_DWORD", "/d", "4", "/f"],
                   capture_output=True, check=True)
    start = time.monotonic()
    relay = subprocess.Popen([tools + "/trace-relay", line.device, link, trace])
    until(lambda: os.path.islink(link), "the relay made no pty")
    program, faults = start_program(remote), []
    try:
        line.ask_until_answered()
        time.sleep(1)  # a trace timed from its first line would show no second before it
        if any(side == "finding" for _, side, _ in entries(trace)):
            faults.append("AT gives a finding")
        for step in ROWS + STEPS + [GONE]:
            seen = len(entries(trace))
            if step[0] is AWAY:
                for part in step[1] + [PAUSE]:
                    os.write(line.peer, part) if part else until(lambda: any(
                        re.search(MARKER, t) for _, _, t in entries(trace)[seen:]), "not taken")
                time.sleep(0.05)  # an LF at the end, read before the device goes
                line.go()
                until(lambda: not os.path.lexists(link), "the relay's pty outlived its device")
                line.come()
                line.ask_until_answered()
                lines = entries(trace)[seen:]
                back = [i for i, entry in enumerate(lines) if entry[1:] == ("device", "back")]
                gone = next((i for i, entry in enumerate(lines)
                             if entry[1:] == ("device", "gone")), 0)
                fault = findings_fault(step[2], lines[:gone])
                faults += ["before the device went: " + fault] if fault else []
                if not in_order(lines, [("device", "gone"), ("device", "back"),
                                        ("port", "opened by the phone")]) \
                        or ("accessory", "AT") not in [entry[1:] for entry in lines[back[0]:]] \
                        or any(side == "finding" or side == "accessory" and text != "AT"
                               for _, side, text in lines[back[0]:]):
                    faults.append("the device gone and back: %r" % lines)
                continue
            if step is AGAIN:
                program.terminate()
                program.wait()
                until(lambda: any(entry[1:] == ("port", "closed by the phone")
                                  for entry in entries(trace)[seen:]), "no port closed")
                program = start_program(remote)
                line.ask_until_answered()
                if not in_order(entries(trace)[seen:], [("port", "opened by the phone")]):
                    faults.append("the program again: %r" % entries(trace)[seen:])
                continue
            row, expected = step
            before = line.received.count(SENTINEL_ANSWER)
            sent_at = time.monotonic() - start
            for part in row:
                os.write(line.peer, part) if part else time.sleep(0.3)
                time.sleep(0.05 if row is GONE[0] else 0)
            if row is GONE[0]:
                line.go()
                until(lambda: any(t.endswith("\\gone") for _, _, t in entries(trace)[seen:]),
                      "no line cut by the device going")
                answered_at = time.monotonic() - start
                until(lambda: not os.path.lexists(link), "the relay's pty outlived its device")
                lines = entries(trace)[seen:]
                answers = sum(entry[1:] == ("phone", "OK") for entry in lines)
                if answers < BURST.count(b"\r"):
                    faults.append("%d of the %d lines that came before the device went answered"
                                  % (answers, BURST.count(b"\r")))
                answers = None  # the line cut by the device going is answered by no one
            else:
                os.write(line.peer, SENTINEL)
                until(lambda: line.answered(before), "no answer to %r" % row)
                answered_at, lines = time.monotonic() - start, entries(trace)[seen:]
                cut = max([i for i, (_, side, _) in enumerate(lines) if side != "phone"] or [0])
                if lines[cut:] == [] or lines[cut][1:] != ("accessory", "AT+CSCS=?") or \
                        lines[-1][1:] != ("phone", "OK"):  # its answer, and nothing after it
                    faults.append("%.60r: not in the trace once answered: %r" % (row, lines[cut:]))
                    continue
                # every OK but the sentinel's
                answers = sum(line[1:] == ("phone", "OK") for line in lines) - 1
                lines = lines[:cut]
            fault = row_fault(row, expected, lines, sent_at, answered_at, answers)
            faults += ["%.60r: %s" % (row, fault)] if fault else []
    except TimeoutError as missing:
        faults.append(str(missing))
    finally:
        program.terminate()
        relay.terminate()
        relay.wait(10)
        line.go()
        if os.path.lexists(link):
            faults.append("the link to the relay's pty outlived it")
            os.remove(link)
        subprocess.run(["wine", "reg", "delete", KEY, "/v", "COMPort", "/f"], capture_output=True)
    return faults


def check_trace_faults(check, trace, work):
    """check-trace prints a trace again, its findings worked out afresh; reads
    a line that filled the buffer, with nothing after it that the phone
    keeps, as the line the phone took; checks a trace cut short as far as it
    goes; says in one line what is no trace."""
    text, checked = open(trace).read(), work + "/checked"
    stale = re.sub(r"(?m)^.{9}finding .*\n", "",
                   re.sub(r"(?m)^(.{9}summary   ).*$", r"\1no findings", text))
    cut = text.index("Caf\\xC3\\xA9") + 5  # inside an escape
    faults = []
    for name, content, start in (("a trace", text, None), ("stale findings", stale, None),
                                 ("cut short", text[:cut], text[:text.rindex("\n", 0, cut) + 1])):
        open(checked, "w").write(content)
        out = subprocess.run([check, checked], capture_output=True, text=True)
        if out.returncode != 0 or (out.stdout != text if start is None else not (
                out.stdout.startswith(start) and " summary " in out.stdout.splitlines()[-1])):
            faults.append("check-trace, %s: %r" % (name, out.stdout[-200:] + out.stderr))
    for tail, expected in HELD_TAILS:  # its findings after an accessory line, else before it
        open(checked, "w").write("   0.100 accessory %s\\full\n   0.101 phone     OK\n%s" % (
            shown(FULL), tail and "   0.400 %s\n" % tail))
        with open(work + "/held", "w") as held:
            subprocess.run([check, checked], stdout=held)
        out, side = entries(work + "/held"), tail[:9].strip()
        after = side == "accessory"
        sides = ["accessory", "phone"] + [side] * after + ["finding"] * len(expected) + \
            [side] * (side != "" and not after)
        if [side for _, side, _ in out if side != "summary"] != sides or \
                findings_fault(expected, out) or out[-1][1] != "summary":
            faults.append("check-trace, a full line, then %r: %r" % (tail, out[2:]))
    open(checked, "w").write(text.split("\n", 1)[0] + "\n\nAT\n")
    open(work + "/empty", "w").close()
    for path, refusal in ((checked, "line 2 is not a trace line"),
                          (work + "/none", "cannot be read"), (work + "/empty", "holds no trace")):
        out = subprocess.run([check, path], capture_output=True, text=True)
        said = "check-trace: %s: %s" % (path, refusal)
        if out.returncode == 0 or out.stdout or not out.stderr.startswith(said) or \
                out.stderr.count("\n") != 1:
            faults.append("check-trace refuses %s with %r" % (path, out.stderr))
    return faults


def main(tools, remote):
    work = tempfile.mkdtemp()
    trace = work + "/trace.txt"
    faults = session(tools, remote, work, trace)
    final = entries(trace)
    counted = sum(int(text.rsplit(": ", 1)[1]) for _, side, text in final if side == "summary")
    if counted != sum(side == "finding" for _, side, _ in final):
        faults.append("the summary counts %d findings" % counted)
    faults += check_trace_faults(tools + "/check-trace", trace, work)
    print("".join("findings_test: %s\n" % fault for fault in faults), end="")
    print("%d passed, %d failed" % (len(ROWS) + len(STEPS) + len(HELD_TAILS) + 7 - len(faults), len(faults)))
    print("findings_test: the trace is in " + trace) if faults else shutil.rmtree(work)
    return not faults


if __name__ == "__main__":
    sys.exit(0 if main(*sys.argv[1:]) else 1)
