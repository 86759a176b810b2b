#!/usr/bin/env python3
"""The accessory's end of a pty pair whose other end the program has, for
the benchmark and the script tests:

  remote_session.py session PEER LOG LABEL   a session; what crossed is kept
                                             in LOG.sent and LOG.received
  remote_session.py return PEER LOG          after the device came back;
                                             adds to LOG

The session asks until the program answers, then sends a Latin-1 byte, an
LF, a submenu, fifty ATs one by one and 200 submenus at once, and prints the
reply times and the burst's as rows of the benchmark's table, LABEL after
each name. After a return it asks again, then leaves a line unfinished,
which the program answers once the bytes pause. Both fail when an answer is
missing.
"""
import os
import select
import statistics
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


def row(name, value, unit, compared_with=""):
    print("%-46s %10.1f %-6s %s" % (name, value, unit, compared_with))


def session(peer, log, label):
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
    expected = line.oks() + BURST
    start = time.monotonic()
    line.send(b"".join(b'AT*EASM="Burst %d",1,1,3,"Play","Pause","Stop",1\r' % i
                       for i in range(BURST)))
    done = line.read(60, expected)
    line.read(0.5)  # an extra answer would show here
    line.keep(log, "wb")
    row("reply to AT, %s (n=50): median" % label, statistics.median(replies), "ms")
    row("reply to AT, %s (n=50): max" % label, max(replies), "ms")
    row("%d submenus at once, %s: answered" % (BURST, label), line.oks() - expected + BURST,
        "lines", "sent %d" % BURST)
    row("%d submenus at once, %s: last OK after" % (BURST, label),
        1000 * (done - start) if done else -1, "ms", "-1: not within 60 s")
    return answered and max(replies) < 5000 and line.oks() == expected


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
    if command == ["session"] and len(arguments) == 3:
        sys.exit(0 if session(*arguments) else 1)
    if command == ["return"] and len(arguments) == 2:
        sys.exit(0 if after_return(*arguments) else 1)
    sys.exit(__doc__)


if __name__ == "__main__":
    main()
