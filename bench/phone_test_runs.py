#!/usr/bin/env python3
"""The phone-test's figures for the benchmark's table: its runs against the
instant accessory (testbed/instant_accessory.py) and the demo accessory
under Wine, each as a whole (start to exit) and its cases without the drop
(the line away for 2 s and the wait for the accessory's return), from the
run's own JUnit times; and its reply to the instant accessory's AT.

  phone_test_runs.py ROOT OUT RUNS      ROOT/build/trace/phone-test, RUNS
                                        runs against each accessory; the
                                        figures go to OUT.json
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testbed"))
from remote_session import figure  # noqa: E402

ACCESSORIES = [  # the name, the command, what its cases without the drop compare with
    ("instant accessory", "%s testbed/instant_accessory.py {} --replies %s.replies%d",
     "asked: under 1 s against one that answers at once"),
    ("demo accessory under Wine", "scripts/accessory-demo {}",
     "asked: under 1 s; it answers a pick at once, under Wine"),
]
DROP = "comes back after a drop"


def main():
    root, out, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    figures, replies = [], []
    # The runs' own folders, and what the demo accessory printed there.
    folders = tempfile.mkdtemp(dir=os.path.dirname(os.path.abspath(out)))
    for name, command, bound in ACCESSORIES:
        whole, undropped = [], []
        for run in range(runs):
            junit = "%s.junit%d.xml" % (out, run)
            line = command % (sys.executable, out, run) if "%s" in command else command
            start = time.monotonic()
            ran = subprocess.run([root + "/build/trace/phone-test", "--junit", junit, "--run",
                                  line], cwd=root, stdout=subprocess.DEVNULL,
                                 env=dict(os.environ, DEMO_SKIP_BUILD="1", TMPDIR=folders))
            ended = time.monotonic()
            suite = ElementTree.parse(junit).getroot()
            drop = [float(case.get("time")) for case in suite.findall("testcase")
                    if case.get("name") == DROP]
            if ran.returncode != 0 or not drop:
                print("phone_test_runs: a run against the %s failed" % name, file=sys.stderr)
                continue
            whole.append(1000 * (ended - start))
            undropped.append(1000 * (float(suite.get("time")) - drop[0]))
        if whole:
            figures.append(figure("phone-test, %s: every case but the drop" % name, undropped,
                                  "ms", bound))
            figures.append(figure("phone-test, %s: the whole run" % name, whole, "ms",
                                  "the drop, 2 s away, and the accessory's program ended"))
    for run in range(runs):
        path = "%s.replies%d" % (out, run)
        if os.path.exists(path):
            replies += json.load(open(path))["figures"][0]["samples"]
    if replies:
        figures.append(figure("phone-test: reply to a line of the accessory's (AT)", replies,
                              "ms", "asked: at most 1 ms; the program on a pty: 0.22 ms"))
    with open(out + ".json", "w") as file:
        json.dump({"label": "phone-test", "figures": figures}, file, indent=1)
    shutil.rmtree(folders)


if __name__ == "__main__":
    main()
