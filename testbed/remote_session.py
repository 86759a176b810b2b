#!/usr/bin/env python3
"""The accessory's end of a pty pair whose other end the program has, for
the benchmark and the script tests:

  remote_session.py session PEER LOG LABEL [--bursts N] [--json FILE]
                                   a session; what crossed is kept in
                                   LOG.sent and LOG.received
  remote_session.py return PEER LOG
                                   after the device came back; adds to LOG

The session asks until the program answers, then sends a Latin-1 byte, an
LF, a submenu, fifty ATs one by one and 200 submenus at once (N times, by
default once), and prints the reply times and the burst's, LABEL after each
name; FILE gets them as the benchmark's figures, every sample kept. After a return it asks
again, then leaves a line unfinished, which the program answers once the
bytes pause. Both fail when an answer is missing.
"""
import json
import os
import select
import sys
import time

BURST = 200


class Line:
    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        self.sent, self.received = bytearray(), bytearray()

    def send(self, data):
        os.write(self.fd, data)
        self.sent += data

    def oks(self):
        return self.received.count(b"OK\r")

    def read(self, seconds, oks=None):
        """For `seconds`, or until `oks` OKs have come: when the last came."""
        until = time.monotonic() + seconds
        while oks is None or self.oks() < oks:
            left = until - time.monotonic()
            if left <= 0:
                return None
            if select.select([self.fd], [], [], left)[0]:
                self.received += os.read(self.fd, 65536)
        return time.monotonic()

    def ask_until_answered(self, seconds):
        until = time.monotonic() + seconds
        while time.monotonic() < until and not self.oks():
            self.send(b"AT\r")
            self.read(1, 1)
        self.read(1)  # the answers to any AT asked meanwhile
        return self.oks() > 0

    def keep(self, log, mode):
        for name, data in (("sent", self.sent), ("received", self.received)):
            with open("%s.%s" % (log, name), mode) as kept:
                kept.write(data)


def percentile(samples, fraction):
    """As the benchmark takes them: the nearest rank."""
    ordered = sorted(samples)
    return ordered[int(fraction * (len(ordered) - 1) + 0.5)]


def figure(name, samples, unit, compared_with=""):
    """The median, within the smallest sample and the 95th percentile; the
    samples themselves for the benchmark's rank test."""
    value, low, high = (percentile(samples, f) for f in (0.5, 0, 0.95))
    spread = " (%.2f to %.2f, n=%d)" % (low, high, len(samples)) if len(samples) > 1 else ""
    print("%s: %.2f %s%s" % (name, value, unit, spread))
    return {"name": name, "unit": unit, "spread": "samples", "compared_with": compared_with,
            "value": value, "low": low, "high": high, "n": len(samples),
            "samples": [round(sample, 4) for sample in samples]}


def exact(name, value, unit, compared_with=""):
    print("%s: %d %s" % (name, value, unit))
    return {"name": name, "unit": unit, "spread": "exact", "compared_with": compared_with,
            "value": value, "low": value, "high": value, "n": 1, "samples": [value]}


def session(peer, log, label, bursts=1, figures_file=None):
    line = Line(peer)
    answered = line.ask_until_answered(150)  # a fresh Wine prefix takes its time
    for data in (b'AT*EAM="Caf\xe9"\r\r', b"AT\r\nATI\r", b'AT*EASM="Show",1,1,2,"Next","Back",1\r'):
        line.send(data)
        answered &= line.read(5, line.oks() + data.count(b"\r") - data.count(b"\r\r")) is not None
    replies = []
    for _ in range(50):
        start = time.monotonic()
        line.send(b"AT\r")
        replies.append(1000 * ((line.read(5, line.oks() + 1) or start + 5) - start))
    times, counts = [], []
    for _ in range(bursts):
        expected = line.oks() + BURST
        start = time.monotonic()
        line.send(b"".join(b'AT*EASM="Burst %d",1,1,3,"Play","Pause","Stop",1\r' % i
                           for i in range(BURST)))
        done = line.read(60, expected)
        line.read(0.5)  # an extra answer would show here
        times.append(1000 * (done - start) if done else -1)
        counts.append(line.oks() - expected + BURST)
    line.keep(log, "wb")
    worst = max(counts, key=lambda count: abs(count - BURST))
    figures = [
        figure("reply to AT, %s" % label, replies, "ms"),
        exact("%d submenus at once, %s: lines answered" % (BURST, label), worst, "lines",
              "sent %d; the worst of the repetitions" % BURST),
        figure("%d submenus at once, %s: last OK after" % (BURST, label), times, "ms",
               "-1: not within 60 s"),
    ]
    if figures_file:
        with open(figures_file, "w") as out:
            json.dump({"label": label, "figures": figures}, out, indent=1)
    return answered and max(replies) < 5000 and all(count == BURST for count in counts)


def after_return(peer, log):
    line = Line(peer)
    answered = line.ask_until_answered(10)
    expected = line.oks() + 1
    line.send(b"UNFINISHED")
    line.read(0.6)
    line.keep(log, "ab")
    return answered and line.oks() == expected


def main():
    command, arguments = sys.argv[1:2], sys.argv[2:]
    options = dict(zip(arguments[3::2], arguments[4::2]))
    if (command == ["session"] and len(arguments) in (3, 5, 7)
            and set(options) <= {"--bursts", "--json"}):
        sys.exit(0 if session(*arguments[:3], int(options.get("--bursts", 1)),
                              options.get("--json")) else 1)
    if command == ["return"] and len(arguments) == 2:
        sys.exit(0 if after_return(*arguments) else 1)
    sys.exit(__doc__)


if __name__ == "__main__":
    main()
