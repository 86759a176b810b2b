#!/usr/bin/env python3
"""The benchmark's table, from the figures its runs wrote as JSON.

  report.py FILE...                    each figure's value with its spread
  report.py --before FILE... FILE...   before, after, after/before, and a
                                       mark where the change is beyond the
                                       run's own spread

A figure is matched by its name; FILEs are read in turn, and the figures
keep their order.
"""
import argparse
import json
import sys
import textwrap

MARK = "*"
RULE = (MARK + ": beyond the run's own spread. Timed figures: after's median lies outside "
        "before's [min–p95], and before's outside after's; CPU: the same with one 10 ms tick "
        "either side of each reading. Counts, sizes and flags: any change. Figures without "
        "a spread are never marked.")
# Each label's spread is its own run's: it says nothing of the machine's
# load changing between the runs, and few samples overlap little.
CAVEAT = ("With the same program in both, chance alone marks one figure in five of n=3, one "
          "in twenty of n=5, and almost none of n=10 or more; a change in the machine's load "
          "between the two runs marks figures too. The bare-window refill runs the same code "
          "(this build's list) in both: its marks are the machine's.")
SPREAD = ("Timed figures: median [min–p95] of n samples; CPU: one 10 ms tick either side of "
          "the reading; counts, sizes and flags are exact.")


def load(paths):
    figures = {}
    for path in paths:
        try:
            with open(path) as file:
                for figure in json.load(file)["figures"]:
                    figures[figure["name"]] = figure
        except (OSError, ValueError) as error:
            print("report: %s left out: %s" % (path, error), file=sys.stderr)
    return figures


def measured(figure):
    return figure is not None and figure["value"] != -1 and figure["n"] > 0


def number(value, exact=False):
    if exact:  # as it is: a size of 153.5 KB is not 154
        return ("%.3f" % value).rstrip("0").rstrip(".")
    if value == round(value) or abs(value) >= 100:
        return "%.0f" % value
    return "%.1f" % value if abs(value) >= 1 else "%.2g" % value


def cell(figure):
    if figure is None:
        return "-"
    if figure["n"] == 0 or not measured(figure) and figure["spread"] != "samples":
        return "not measured"
    text = number(figure["value"], figure["spread"] == "exact")
    if figure["spread"] in ("samples", "resolution"):
        text += " [%s–%s]" % (number(figure["low"]), number(figure["high"]))
    return (text + " " + figure["unit"]).rstrip()


def ratio(before, after):
    if not (measured(before) and measured(after)) or before["value"] == 0:
        return "-"
    return "%.2f" % (after["value"] / before["value"])


def has_spread(figure):
    if figure["spread"] == "samples":
        return figure["n"] >= 2  # one sample has a value, not a spread
    return figure["spread"] in ("resolution", "exact") and measured(figure)


def beyond_spread(before, after):
    if before is None or after is None or not (has_spread(before) and has_spread(after)):
        return False
    if after["spread"] == "exact":
        return after["value"] != before["value"]
    return (not before["low"] <= after["value"] <= before["high"]
            and not after["low"] <= before["value"] <= after["high"])


def name(figure, other=None):
    n = figure["n"]
    if figure["spread"] != "samples":
        return figure["name"]
    if other is not None and other["n"] != n:
        return "%s (n=%d; before %d)" % (figure["name"], n, other["n"])
    return "%s (n=%d)" % (figure["name"], n)


def table(header, rows):
    widths = [max(len(row[i]) for row in [header] + rows) for i in range(len(header))]
    right = {i for i, title in enumerate(header) if title in ("value", "before", "after",
                                                              "after/before")}
    for row in [header, ["-" * width for width in widths]] + rows:
        print("  ".join(text.rjust(width) if i in right else text.ljust(width)
                        for i, (text, width) in enumerate(zip(row, widths))).rstrip())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", action="append", default=[], metavar="FILE")
    parser.add_argument("after", nargs="+", metavar="FILE")
    options = parser.parse_intermixed_args()
    after = load(options.after)
    if not options.before:
        table(["figure", "value", "compared with"],
              [[name(f), cell(f), f["compared_with"]] for f in after.values()])
        print(textwrap.fill(SPREAD, 100))
        return
    before = load(options.before)
    rows = []
    for key in list(after) + [key for key in before if key not in after]:
        b, a = before.get(key), after.get(key)
        rows.append([name(a or b, b if a else None), cell(b), cell(a), ratio(b, a),
                     MARK if beyond_spread(b, a) else "", (a or b)["compared_with"]])
    table(["figure", "before", "after", "after/before", "mark", "compared with"], rows)
    print(textwrap.fill(RULE, 100))
    print(textwrap.fill(CAVEAT, 100))


if __name__ == "__main__":
    main()
