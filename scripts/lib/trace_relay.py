#!/usr/bin/env python3
"""Relays a serial device to a pty of its own and traces every line that
crosses, in both directions.

  trace_relay.py DEVICE LINK TRACE

DEVICE keeps its speed and framing; the relay only makes the line raw, as
the program's device layer would. LINK becomes a symbolic link to the pty's
end that the program opens, and goes whenever that pty ends. TRACE is a
file, or - for standard output; each line that crosses is written to it as

    12.345 accessory AT*EASM="Player",1,1,3,"Play","Pause","Stop",1

seconds since the relay started, who sent it (accessory: from DEVICE; phone:
from the program) and the line without its CR, every byte outside printable
ASCII, and the backslash, as \\xHH. When the device fails (a Bluetooth link
drops) the pty ends too, so the program sees it go, and both come back once
the device opens again. SIGTERM or SIGINT ends the relay; lines still
unfinished are written as they stand.
"""
import os
import select
import signal
import sys
import termios
import time
import tty

REOPEN_SECONDS = 0.5
CHUNK = 65536


def make_raw_keeping_framing(fd):
    """No echo, no translation, no signals; speed, framing and flow control
    stay as the device has them."""
    iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(fd)
    iflag &= ~(termios.IGNBRK | termios.BRKINT | termios.PARMRK | termios.ISTRIP |
               termios.INLCR | termios.IGNCR | termios.ICRNL)
    oflag &= ~termios.OPOST
    lflag &= ~(termios.ECHO | termios.ECHONL | termios.ICANON | termios.ISIG | termios.IEXTEN)
    cc[termios.VMIN], cc[termios.VTIME] = 1, 0
    termios.tcsetattr(fd, termios.TCSANOW, [iflag, oflag, cflag, lflag, ispeed, ospeed, cc])


def shown(line):
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02X" % b for b in line)


class Trace:
    def __init__(self, path):
        self.out = sys.stdout if path == "-" else open(path, "w")
        self.start = time.monotonic()
        self.pending = {"accessory": bytearray(), "phone": bytearray()}

    def crossed(self, side, data):
        pending = self.pending[side]
        for byte in data:
            if byte == 0x0D:
                self.write(side, pending)
                pending.clear()
            else:
                pending.append(byte)
        self.out.flush()

    def write(self, side, line):
        self.out.write("%8.3f %-9s %s\n" % (time.monotonic() - self.start, side, shown(line)))

    def end(self):
        for side, pending in self.pending.items():
            if pending:
                self.write(side, pending)
        self.out.flush()


class Pty:
    """The program's end of the line: a pty whose far end LINK names. The
    relay keeps that end open too, so that the program may close and open it
    again without the pty ending."""

    def __init__(self, link):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.link, self.name = link, os.ttyname(self.slave)
        temporary = link + ".new"
        if os.path.lexists(temporary):
            os.remove(temporary)
        os.symlink(self.name, temporary)
        os.replace(temporary, link)

    def close(self):
        # Unlinked before it is closed: the system may give a closed pty to
        # the next terminal, whose input the program would then read.
        if os.path.islink(self.link) and os.readlink(self.link) == self.name:
            os.remove(self.link)
        os.close(self.master)
        os.close(self.slave)


def open_device(path):
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError:
        return None
    make_raw_keeping_framing(fd)
    return fd


def read_some(fd):
    """Bytes that have come, b"" for none yet, None once the end has gone."""
    try:
        data = os.read(fd, CHUNK)
    except BlockingIOError:
        return b""
    except OSError:
        return None
    return data or None


def relay(device_path, link, trace, stopping):
    """Relays until stopped; across a device that fails and comes back."""
    while not stopping():
        device = open_device(device_path)
        if device is None:
            time.sleep(REOPEN_SECONDS)
            continue
        pty = Pty(link)
        relay_open(device, pty, trace, stopping)
        os.close(device)
        pty.close()


def relay_open(device, pty, trace, stopping):
    # What each side has not yet taken, written as it becomes writable.
    to_phone, to_device = bytearray(), bytearray()
    while not stopping():
        writers = ([pty.master] if to_phone else []) + ([device] if to_device else [])
        try:
            readable, _, _ = select.select([device, pty.master], writers, [], 0.2)
        except InterruptedError:
            continue
        if device in readable:
            data = read_some(device)
            if data is None:
                return
            trace.crossed("accessory", data)
            to_phone += data
        if pty.master in readable:
            data = read_some(pty.master)
            if data is not None:
                trace.crossed("phone", data)
                to_device += data
        for fd, queue in ((pty.master, to_phone), (device, to_device)):
            if not queue:
                continue
            try:
                del queue[:os.write(fd, queue)]
            except BlockingIOError:
                pass
            except OSError:
                return


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: trace_relay.py DEVICE LINK TRACE")
    device_path, link, trace_path = sys.argv[1:]
    trace = Trace(trace_path)
    stop = []
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: stop.append(True))
    try:
        relay(device_path, link, trace, lambda: bool(stop))
    finally:
        trace.end()


if __name__ == "__main__":
    main()
