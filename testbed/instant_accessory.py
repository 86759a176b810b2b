#!/usr/bin/env python3
"""An accessory that answers at once, for the phone-test's tests and the
benchmark:

  instant_accessory.py LINE [--fault FAULT] [--late WHEN SECONDS] [--replies FILE]

On LINE, a serial line that may go and come back, it plays a slide show as
the demo accessory does: it registers "Slides", declares UTF-8 and shows
"Slide 1/12" with Next, Back, First, Last and Settings; Settings offers
"Loop: on/off", "Captions: on/off" and "Back to slides". Each command waits
for the phone's OK, as the link's do, and each pick is answered with the
next menu at once. When the line goes, it opens it again as soon as it is
back, declares its set, registers again and resends its menu.

FAULT gives it one fault: unanswered-pick (a pick of Last gets no answer),
no-return (no registration once the line is back), count-differs (the
slides menu counts one item more than it gives), lf-endings (lines end with
LF), undeclared-utf8 (UTF-8 captions, no set declared), unreachable-item
(two items that each lead to a menu with no way back, so that a walk can
never pick both), long-line (a command of 2100 bytes, over the phone's
2047, before it registers), full-menu (the slides menu, counting one item
more than it gives, padded to fill the phone's 2047 bytes and sent without
its CR), cut-by-drop (each menu followed, in the same write, by "AT" and no
CR: the start of a line that a drop right after the menu cuts),
ends-at-once, ends-at-return (it ends as soon as it has opened the line
again), twin-menus (Lamps and Fans in the slides menu lead to two menus
with the same items, On, Off and Back; Off in Fans gets no answer),
itemless (its only menu, "Main", has no item), placeholder (first
"Connecting" with "Please wait", which ignores picks, then the slides
menu), progress (first "Connecting N%", with no item, sent again every
100 ms with N rising, then the slides menu), changing-value (a main loop
that wakes every 20 ms and then reads what came, answers each pick and
sends its menu again, no command waiting for its OK; every menu ends with
"Battery N%", N one lower each time; its pick shows the menu again),
fills-in (the settings menu comes with its last item alone, and, in the
same write, with all three), dead-picks (after its first menu it reads
nothing more, and sends that menu again every 500 ms), dropped-picks
(the same, sent twice at first, but reading each line and letting it go,
picks too), quit-item (the
slides menu ends with "Quit, don't save", whose pick ends the program),
trailing-lines (each menu followed, in the same write, by 12 KB of AT+CSCS
lines) or control-chars (the slides titles end with ESC [2J).

--late WHEN SECONDS: waits SECONDS before it registers when the line first
opens (first), before it registers again once the line is back (return),
before it answers a pick of Last (pick), or before the slides menu takes
the place of a placeholder or progress menu (placeholder; 0.3 s unless
given).

--replies FILE: first sends AT fifty times, each once the last is answered,
and writes the times to the phone's OK as the benchmark's figure.
"""
import json
import os
import select
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from remote_session import figure  # noqa: E402

FAULTS = ("unanswered-pick", "no-return", "count-differs", "lf-endings", "undeclared-utf8",
          "unreachable-item", "long-line", "full-menu", "cut-by-drop", "ends-at-once", "ends-at-return",
          "twin-menus",
          "itemless", "placeholder", "progress", "changing-value", "fills-in", "dead-picks",
          "dropped-picks", "quit-item", "trailing-lines", "control-chars")
CAPTIONS = ["Łódź harbour", "Lighthouse", "Łódź", "Café Müller", "Bridge", "Cathedral", "Gardens",
            "Museum", "Station", "Hillside", "Beach", "Sunset"]
REPLIES = 50
QUIT = "Quit, don't save"
TICK = 0.02  # s, changing-value's


class Gone(Exception):
    """The line went."""


class Line:
    def __init__(self, path, end):
        self.path, self.end, self.fd, self.held = path, end, None, b""

    def open(self):
        """Once the line is there: it may be away for a while."""
        while self.fd is None:
            try:
                self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY)
            except OSError:
                time.sleep(0.01)
        self.held = b""

    def close(self):
        os.close(self.fd)
        self.fd = None

    def send(self, text, ends=1, after=""):
        try:
            os.write(self.fd, text.encode() + self.end * ends + after.encode())
        except OSError as error:
            raise Gone() from error

    def receive(self, until=None):
        """The phone's next line; None once `until` (monotonic) has passed."""
        while b"\r" not in self.held:
            if until is not None:
                left = until - time.monotonic()
                if left <= 0:
                    return None
                if not select.select([self.fd], [], [], left)[0]:
                    continue
            self.read()
        line, self.held = self.held.split(b"\r", 1)
        return line.decode("latin-1")

    def come(self):
        """The phone's lines that have come, without waiting."""
        while select.select([self.fd], [], [], 0)[0]:
            self.read()
        *lines, self.held = self.held.split(b"\r")
        return [line.decode("latin-1") for line in lines]

    def read(self):
        try:
            data = os.read(self.fd, 4096)
        except OSError as error:
            raise Gone() from error
        if not data:
            raise Gone()
        self.held += data


class SlideShow:
    def __init__(self, fault):
        self.fault, self.slide, self.loop = fault, 1, False
        self.captions = fault == "undeclared-utf8"
        self.menu, self.picks = "slides", []  # picks that came while a command waited
        self.battery = 100

    def items(self):
        return self.own_items() + ["Battery %d%%" % self.battery] * (
            self.fault == "changing-value")

    def own_items(self):
        if self.menu == "settings":
            return ["Loop: " + ("on" if self.loop else "off"),
                    "Captions: " + ("on" if self.captions else "off"), "Back to slides"]
        if self.menu in ("left", "right"):
            return ["Stay " + self.menu]
        if self.menu in ("lamps", "fans"):
            return ["On", "Off", "Back"]
        if self.menu == "connecting":
            return ["Please wait"] * (self.fault == "placeholder")
        if self.fault == "itemless":
            return []
        extra = {"unreachable-item": ["Left", "Right"], "twin-menus": ["Lamps", "Fans"],
                 "quit-item": [QUIT]}
        return ["Next", "Back", "First", "Last", "Settings"] + extra.get(self.fault, [])

    def title(self):
        if self.menu == "connecting":
            return "Connecting" + (" %d%%" % (100 - self.battery) if self.fault == "progress"
                                   else "")
        if self.fault == "itemless":
            return "Main"
        if self.menu != "slides":
            return self.menu.capitalize() + ("" if self.menu in ("settings", "lamps", "fans")
                                             else " end")
        caption = " " + CAPTIONS[self.slide - 1] if self.captions else ""
        return "Slide %d/12%s%s" % (self.slide, caption,
                                    "\x1b[2J" if self.fault == "control-chars" else "")

    def submenu(self):
        items = self.items()
        count = len(items) + (self.fault in ("count-differs", "full-menu") and
                              self.menu == "slides")
        line = 'AT*EASM="%s",1,1,%d%s,1' % (self.title(), count,
                                            "".join(',"%s"' % item for item in items))
        if self.fault == "fills-in" and self.menu == "settings":
            line = 'AT*EASM="Settings",1,1,1,"Back to slides",1\r' + line
        if self.fault == "trailing-lines":
            line += '\rAT+CSCS="UTF-8"' * 750
        return line.ljust(2047) if self.fault == "full-menu" else line

    def choose(self, item, late):
        """Applies a pick; False when it gets no answer."""
        items = self.items()
        if not 1 <= item <= len(items):
            return True
        text = items[item - 1]
        if text == "Last" and self.fault == "unanswered-pick" or self.menu == "connecting" or \
                text == "Off" and self.menu == "fans":
            return False
        if text == QUIT:
            sys.exit(0)
        if text == "Last":
            time.sleep(late.get("pick", 0))
        if self.menu == "settings":
            self.loop ^= text.startswith("Loop")
            self.captions ^= text.startswith("Captions")
            self.menu = "slides" if text == "Back to slides" else "settings"
        elif text in ("Left", "Right", "Settings", "Lamps", "Fans"):
            self.menu = text.lower()
        elif self.menu in ("lamps", "fans"):
            self.menu = "slides" if text == "Back" else self.menu
        elif text == "Next":
            self.slide = self.slide + 1 if self.slide < 12 else (1 if self.loop else 12)
        elif text == "Back":
            self.slide = self.slide - 1 if self.slide > 1 else (12 if self.loop else 1)
        elif text in ("First", "Last"):
            self.slide = 1 if text == "First" else 12
        return True


def command(line, show, text, ends=1, after=""):
    """Sends a command (and `after` it) and waits up to a second for its OK;
    a pick that comes meanwhile waits its turn."""
    line.send(text, ends, after)
    until = time.monotonic() + 1
    while True:
        answer = line.receive(until)
        if answer is None or answer == "OK":
            return
        if answer.startswith("*EAMI: "):
            show.picks.append(int(answer[7:]))


def value_changes(line, show, late):
    """changing-value's main loop: a pick that comes between its ticks waits
    unread until the next, after the menu sent again at the last."""
    tick = time.monotonic()
    while True:
        tick = max(tick + TICK, time.monotonic())
        time.sleep(max(0, tick - time.monotonic()))
        picks, show.picks = show.picks, []
        for pick in picks + [int(came[7:]) for came in line.come() if came.startswith("*EAMI: ")]:
            if show.choose(pick, late):
                line.send(show.submenu())
        show.battery = show.battery - 1 if show.battery > 0 else 100
        line.send(show.submenu())


def replies(line, path):
    samples = []
    for _ in range(REPLIES):
        start = time.monotonic()
        line.send("AT")
        while line.receive(start + 5) not in ("OK", None):
            pass
        samples.append(1000 * (time.monotonic() - start))
    with open(path, "w") as out:
        json.dump({"label": "phone-test", "figures": [figure(
            "phone-test: reply to an accessory's line (AT)", samples, "ms",
            "the program's, on a pty: 0.22 ms")]}, out, indent=1)


def main():
    arguments = sys.argv[1:]
    late = {}
    if "--late" in arguments[:-2]:
        at = arguments.index("--late")
        late[arguments[at + 1]] = float(arguments[at + 2])
        del arguments[at:at + 3]
    options = dict(zip(arguments[1::2], arguments[2::2]))
    if len(arguments) not in (1, 3, 5) or not set(options) <= {"--fault", "--replies"} or \
            options.get("--fault", FAULTS[0]) not in FAULTS or \
            not set(late) <= {"first", "return", "pick", "placeholder"}:
        sys.exit(__doc__)
    fault = options.get("--fault")
    if fault == "ends-at-once":
        return
    line = Line(arguments[0], b"\n" if fault == "lf-endings" else b"\r")
    show, opens = SlideShow(fault), 0
    menu_ends = fault != "full-menu"  # the CRs after a menu
    after_menu = "AT" if fault == "cut-by-drop" else ""
    while True:
        line.open()
        # By the line's first open, whenever the drop came.
        first, opens = opens == 0, opens + 1
        if fault == "ends-at-return" and not first:
            return
        try:
            if first and "--replies" in options:
                replies(line, options["--replies"])
            time.sleep(late.get("first" if first else "return", 0))
            if fault != "undeclared-utf8":
                command(line, show, 'AT+CSCS="UTF-8"')
            if fault == "long-line":
                command(line, show, "AT+X" + "Y" * 2096)
            if first or fault != "no-return":
                command(line, show, 'AT*EAM="Slides"', 2)
            if first and fault in ("placeholder", "progress"):
                show.menu, until = "connecting", time.monotonic() + late.get("placeholder", 0.3)
                command(line, show, show.submenu())
                while time.monotonic() < until:  # the picks that come meanwhile are let go
                    if fault == "placeholder":
                        line.receive(until)
                        continue
                    time.sleep(max(0, min(0.1, until - time.monotonic())))
                    show.battery -= 1
                    command(line, show, show.submenu())
                show.menu, show.battery, show.picks = "slides", 100, []
            command(line, show, show.submenu(), menu_ends, after_menu)
            if fault == "dropped-picks":
                line.send(show.submenu())
            while fault in ("dead-picks", "dropped-picks"):
                until = time.monotonic() + 0.5
                while fault == "dead-picks" and time.monotonic() < until:
                    time.sleep(until - time.monotonic())
                while fault == "dropped-picks" and line.receive(until) is not None:
                    pass
                line.send(show.submenu())
            if fault == "changing-value":
                value_changes(line, show, late)
            while True:
                pick = show.picks.pop(0) if show.picks else None
                if pick is None:
                    answer = line.receive()
                    if not answer.startswith("*EAMI: "):
                        continue
                    pick = int(answer[7:])
                if show.choose(pick, late):
                    command(line, show, show.submenu(), menu_ends, after_menu)
        except Gone:
            line.close()

if __name__ == "__main__":
    main()
