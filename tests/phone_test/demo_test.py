#!/usr/bin/env python3
"""The phone-test against the demo accessory under Wine, as the README
shows it: every case passes, the JUnit file parses and check-trace reads
the trace back with no findings; the README's script passes, and the same
script with one step changed fails at that step, the steps after it
skipped. The three runs go side by side, each on a port of its own.

  demo_test.py ROOT      (with DEMO_SKIP_BUILD set, once the build is done)
"""
import os
import re
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing of the tests' left in the checkout
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faults_test import CASES, junit_fault, verdicts  # noqa: E402

CHANGED = ('expect menu "Slide 2/12"', 'expect menu "Slide 3/12"')


def main():
    root = sys.argv[1]
    script = root + "/tests/phone_test/slides.script"
    faults = []
    with tempfile.TemporaryDirectory() as work:
        changed = work + "/changed.script"
        lines = open(script).read().split("\n")
        steps = [line for line in lines if line.strip() and not line.startswith("#")]
        at = lines.index(CHANGED[0])  # the first: the one before the drop
        before = steps.index(CHANGED[0])  # steps that pass first
        lines[at] = CHANGED[1]
        with open(changed, "w") as out:
            out.write("\n".join(lines))
        command = ["%s/scripts/phone-test" % root]
        accessory = ["--run", "scripts/accessory-demo {}"]
        # Built before the tests; the runs' folders go with `work`.
        environment = dict(os.environ, PHONE_TEST_SKIP_BUILD="1", TMPDIR=work)
        runs = [subprocess.Popen(command + options + accessory, cwd=root, env=environment,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                for options in (["--junit", work + "/junit.xml", "--trace", work + "/trace.txt"],
                                ["--script", script], ["--script", changed])]
        (automatic, status), (scripted, script_status), (failing, failing_status) = [
            (run.communicate(timeout=120)[0], run.returncode) for run in runs]
        print(automatic + scripted + failing)

        found = verdicts(automatic)
        if status != 0 or found != dict.fromkeys(CASES, "PASS"):
            faults.append("the automatic cases: %s, exit status %d" % (found, status))
        faults.append(junit_fault(work + "/junit.xml", found))
        checked = subprocess.run([root + "/build/trace/check-trace", work + "/trace.txt"],
                                 capture_output=True, text=True).stdout.splitlines()
        if not checked or not checked[-1].endswith("summary   no findings"):
            faults.append("check-trace: %s" % checked[-3:])

        found = verdicts(scripted)
        if script_status != 0 or set(found.values()) != {"PASS"} or len(found) != len(steps) + 1:
            faults.append("the script: %s, exit status %d" % (found, script_status))
        words = list(verdicts(failing).values())
        expected = ["PASS"] * before + ["FAIL"] + ["SKIP"] * (len(steps) - before - 1) + ["PASS"]
        if failing_status != 1 or words != expected or \
                "FAIL  %s: not shown within 1.00 s" % CHANGED[1] not in failing:
            faults.append("the changed script: %s, exit status %d" % (words, failing_status))
        faults = [fault for fault in faults if fault]
        # The accessory's log says what it saw; it goes with `work`.
        for log in re.findall(r"its output goes to (\S+)", automatic + scripted + failing):
            if faults and os.path.exists(log):
                print("demo_test: %s:\n%s" % (log, open(log, errors="replace").read()[-2000:]))
    for fault in faults:
        print("demo_test: " + fault)
    print("demo_test: %s" % ("failed" if faults else "the demo accessory passes; the changed "
                                                     "script fails at its changed step"))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
