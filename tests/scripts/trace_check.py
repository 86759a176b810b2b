#!/usr/bin/env python3
"""Checks a trace of scripts/remote against what crossed the line:

  trace_check.py LOG TRACE

LOG.sent and LOG.received hold the bytes the accessory's end sent and
received (testbed/remote_session.py keeps them). Every line must be in the
trace once, under the side that sent it, in order, with the times rising,
no OK before the line it answers, and the summary at the end; a line left
unfinished is marked as taken by the pause. The relay's news of the device
and the port stand between them.
"""
import re
import sys


def shown(data):
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02X" % b for b in data)


def lines_of(data):
    """Each CR-ended line as the trace shows it, and a last unfinished one,
    which the phone takes once the bytes pause."""
    *ended, unfinished = data.split(b"\r")
    return [shown(part) for part in ended] + ([shown(unfinished) + "\\pause"] if unfinished else [])


def fault(log, trace_path):
    sent = open(log + ".sent", "rb").read()
    received = open(log + ".received", "rb").read()
    entries = []
    for text in open(trace_path, encoding="ascii").read().splitlines():
        match = re.fullmatch(r" *(\d+\.\d{3}) (accessory|phone    |finding  |summary  |device   |"
                             r"port     |trace    ) (.*)", text)
        if not match:
            return "not a trace line: %r" % text
        entries.append((float(match[1]), match[2].strip(), match[3]))
    if [entry[0] for entry in entries] != sorted(entry[0] for entry in entries):
        return "times go back"
    if not entries or entries[-1][1] != "summary":
        return "no summary at the end"
    for side, data in (("accessory", sent), ("phone", received)):
        traced, crossed = [entry[2] for entry in entries if entry[1] == side], lines_of(data)
        if traced != crossed:
            at = next((i for i, pair in enumerate(zip(traced, crossed)) if pair[0] != pair[1]),
                      min(len(traced), len(crossed)))
            return "the %s's lines differ from line %d: traced %r, crossed %r" % (
                side, at + 1, traced[at:at + 3], crossed[at:at + 3])
    # Each OK answers a line that crossed before it (a line of only LFs and
    # NULs is empty, and not answered), but for the line left unfinished:
    # the relay takes it once its own clock has seen the pause, and the
    # program's tick, which Wine moves in steps of up to 16 ms, may see it
    # that much sooner.
    asked = answered = 0
    for _, side, text in entries:
        asked += side == "accessory" and re.sub(r"\\x0A|\\x00|\\pause", "", text) != ""
        answered += side == "phone" and text == "OK"
        if answered > asked + (not sent.endswith(b"\r")):
            return "an OK is traced before the line it answers"
    return None


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    found = fault(*sys.argv[1:])
    sys.exit("trace: " + found if found else 0)
