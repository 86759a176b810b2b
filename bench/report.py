#!/usr/bin/env python3
"""The benchmark's table, from the figures its runs wrote as JSON.

  report.py FILE...                    each figure's value with its spread
  report.py --before FILE... FILE...   before, after, after/before, and a
                                       mark where the change is beyond the
                                       run's own spread

A figure is matched by its name. The FILEs of a side are its rounds: a
figure's samples (and an exact figure's readings) are pooled over them, and
the figures keep their order.
"""
import argparse
import json
import math
import statistics
import sys
import textwrap

MARK = "*"
UNMARKABLE = "-"
# The whole table's chance of a mark with the same code on both sides.
LEVEL = 0.01
EXACT_UP_TO = 60  # pooled samples of both sides; beyond, the normal approximation
# Same-code runs' rounds split every way had figures that the rank test
# passed up to twice their rounds' own spread apart: three leaves a margin.
ROUNDS_APART = 3
RULE = ("%s: the change is beyond the run's own spread, on two counts. The samples: a two-sided "
        "rank test (Mann-Whitney U, exact up to %d samples in all) of before's against after's, "
        "each side pooled over its rounds, a timeout ranked slowest, at 1%% across the table "
        "(Benjamini-Hochberg: p below 1%% x its place among the p-values / the number of figures "
        "that could be marked). The rounds: each side's lie beyond all of the other's, by their "
        "medians, further apart than %d times the widest spread among one side's own rounds (a "
        "round's samples share its programs and the machine's load of the moment, and differ "
        "from the next round's more than among themselves). %s: too few samples to be marked "
        "even were every after beyond every before (such as 3 against 3: committed memory, one "
        "reading a round). Counts, sizes and flags: any change, their counts read once the "
        "program has settled. The bare-window refill times this tree's code on both sides: it "
        "gauges the machine, and is never marked."
        % (MARK, EXACT_UP_TO, ROUNDS_APART, UNMARKABLE))
SPREAD = ("Timed figures and CPU readings: median [min-p95] of n samples; counts, sizes and "
          "flags are exact (a range where the rounds differ).")


def load(paths):
    """The figures of one side, each with the samples of all its files."""
    figures = {}
    for path in paths:
        try:
            with open(path) as file:
                for figure in json.load(file)["figures"]:
                    pooled = figures.setdefault(figure["name"],
                                                dict(figure, samples=[], rounds=[]))
                    pooled["samples"] = pooled["samples"] + figure["samples"]
                    pooled["rounds"].append(figure["samples"])
        except (OSError, ValueError, KeyError) as error:
            print("report: %s left out: %s" % (path, error), file=sys.stderr)
    return figures


def percentile(samples, fraction):
    """As the benchmark takes them: the nearest rank."""
    ordered = sorted(samples)
    return ordered[int(fraction * (len(ordered) - 1) + 0.5)]


def value(figure):
    if figure is None or not figure["samples"]:
        return None
    return percentile(figure["samples"], 0.5)


def number(value, exact=False):
    if exact:  # as it is: a size of 153.5 KB is not 154
        return ("%.3f" % value).rstrip("0").rstrip(".")
    if value == round(value) or abs(value) >= 100:
        return "%.0f" % value
    return "%.1f" % value if abs(value) >= 1 else "%.2g" % value


def cell(figure):
    if figure is None:
        return "-"
    samples = figure["samples"]
    if not samples:
        return "not measured"
    if figure["spread"] == "exact":
        low, high = min(samples), max(samples)
        text = number(low, True) + ("" if low == high else "–" + number(high, True))
    else:
        text = number(percentile(samples, 0.5))
        if len(samples) > 1:
            text += " [%s–%s]" % (number(min(samples)), number(percentile(samples, 0.95)))
    return (text + " " + figure["unit"]).rstrip()


def ratio(before, after):
    b, a = value(before), value(after)
    if b is None or a is None or b <= 0 or a < 0:
        return "-"
    return "%.2f" % (a / b)


def doubled_ranks(samples):
    """Each sample's rank among all, doubled so that ties' mid-ranks stay
    whole; -1 (not within the figure's wait) ranks slowest."""
    keys = [math.inf if sample == -1 else sample for sample in samples]
    order = sorted(range(len(keys)), key=keys.__getitem__)
    ranks = [0] * len(keys)
    start = 0
    while start < len(order):
        end = start
        while end + 1 < len(order) and keys[order[end + 1]] == keys[order[start]]:
            end += 1
        for i in order[start:end + 1]:
            ranks[i] = start + end + 2  # (start + 1) + (end + 1)
        start = end + 1
    return ranks


def rank_sum_counts(ranks, n):
    """How many of the ways to pick n of `ranks` give each sum: polynomials
    held in integers, each coefficient in a field of its own `width` bits."""
    width = math.comb(len(ranks), n).bit_length() + 1
    ways = [1] + [0] * n  # ways[k]: picks of k so far, by sum
    for taken, rank in enumerate(ranks):
        for k in range(min(taken, n - 1), -1, -1):
            ways[k + 1] += ways[k] << (rank * width)
    mask = (1 << width) - 1
    counts, field, total = {}, ways[n], 0
    while field:
        if field & mask:
            counts[total] = field & mask
        field >>= width
        total += 1
    return counts


def rank_test(before, after):
    """Two-sided Mann-Whitney p of the two sides' samples, and the smallest
    p their numbers of samples allow (when no two samples tie)."""
    n1, n2 = len(before), len(after)
    ranks = doubled_ranks(before + after)
    total = sum(ranks[:n1])
    centre = n1 * (n1 + n2 + 1)  # the doubled rank sum's mean
    if n1 + n2 <= EXACT_UP_TO:
        counts = rank_sum_counts(ranks, n1)
        far = sum(count for s, count in counts.items()
                  if abs(s - centre) >= abs(total - centre))
        return far / math.comb(n1 + n2, n1), 2 / math.comb(n1 + n2, n1)
    u = (total - n1 * (n1 + 1)) / 2
    ties = {}
    for rank in ranks:
        ties[rank] = ties.get(rank, 0) + 1
    tied = sum(t ** 3 - t for t in ties.values())
    n = n1 + n2
    variance = n1 * n2 / 12 * ((n + 1) - tied / (n * (n - 1)))
    if variance <= 0:
        return 1.0, 0.0
    z = max(0.0, abs(u - n1 * n2 / 2) - 0.5) / math.sqrt(variance)
    return math.erfc(z / math.sqrt(2)), 0.0


def difference(high, low):
    """high - low, where both may be a timeout's infinity."""
    return 0.0 if high == low else high - low


def rounds_apart(before, after, factor=ROUNDS_APART):
    """Whether every round of one side lies beyond every round of the other
    (by their medians, a timeout slowest), further than `factor` times the
    widest spread among one side's own rounds: samples are not independent
    within a round, which shares its programs' start and the machine's load
    of the moment, so the rank test alone would take that for a change."""
    medians = []
    for side in (before, after):
        medians.append([statistics.median([math.inf if x == -1 else x for x in samples])
                        for samples in side["rounds"] if samples])
    b, a = medians
    if not b or not a:
        return False
    spread = max(difference(max(b), min(b)), difference(max(a), min(a)))
    gap = max(difference(min(a), max(b)), difference(min(b), max(a)))
    return gap > 0 and gap > factor * spread


def marks(before, after):
    """Each figure's mark: MARK, UNMARKABLE or none."""
    result, tests = {}, {}
    for key in after:
        b, a = before.get(key), after[key]
        if b is None or not b["samples"] or not a["samples"] or a["spread"] == "gauge":
            result[key] = ""
        elif a["spread"] == "exact" or b["spread"] == "exact":
            result[key] = MARK if sorted(set(b["samples"])) != sorted(set(a["samples"])) else ""
        else:
            p, smallest = rank_test(b["samples"], a["samples"])
            result[key] = UNMARKABLE if smallest >= LEVEL else ""
            if smallest < LEVEL:
                tests[key] = p
    # Benjamini-Hochberg over the figures that could be marked at all
    ordered = sorted(tests, key=tests.get)
    passed = [i for i, key in enumerate(ordered, 1) if tests[key] <= LEVEL * i / len(ordered)]
    for key in ordered[:max(passed, default=0)]:
        if rounds_apart(before[key], after[key]):
            result[key] = MARK
    return result


def name(figure, other=None):
    n = len(figure["samples"])
    if figure["spread"] == "exact" or n == 1 and other is None:
        return figure["name"]
    if other is not None and len(other["samples"]) != n:
        return "%s (n=%d; before %d)" % (figure["name"], n, len(other["samples"]))
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
    marked = marks(before, after)
    rows = []
    for key in list(after) + [key for key in before if key not in after]:
        b, a = before.get(key), after.get(key)
        rows.append([name(a or b, b if a else None), cell(b), cell(a), ratio(b, a),
                     marked.get(key, ""), (a or b)["compared_with"]])
    table(["figure", "before", "after", "after/before", "mark", "compared with"], rows)
    print(textwrap.fill(SPREAD, 100))
    print(textwrap.fill(RULE, 100))


if __name__ == "__main__":
    main()
