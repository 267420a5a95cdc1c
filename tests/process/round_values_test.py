#!/usr/bin/python3
"""LEGENDE_Y_ROUND through the program's one-shot pass, read back from the
SVG it writes (each label is a group named by its text): the Y labels are
whole multiples of one step of 1, 2, 2.5 or 5 times a power of ten, one step
apart, as many as asked within one, with the step's decimals and the
thousands separator asked for, bracketing every value of the window, the
higher value on the higher row.

    round_values_test.py PROGRAM
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

# name: (values, labels asked for, LEGENDE_Y_THOUSANDS, thousands mark, decimal mark)
CASES = {
    "index": ([7954.12, 7989.4, 8025.87, 8013.22, 8166.02, 8049.31], 5, "space", " ", "."),
    "rate": ([1.0832, 1.0812, 1.0849, 1.0840], 4, "none", "", "."),
    "across": ([-1234.0, 2500.0, 5678.0, 310.5], 5, "comma", ",", "."),
    "narrow": ([1000.5, 1002.0, 1004.2], 3, "point", ".", ","),
    "flat": ([250.0, 250.0, 250.0], 5, "none", "", "."),
}


def fail(message):
    print("round_values_test: FAILED: " + message)
    sys.exit(1)


def graph_file(name, count, thousands):
    return "\n".join([
        "GRAPH_NAME=" + name,
        "GRAPH_NAME_DISPLAY=no",
        "GRAPH_DURATION_DISPLAY=no",
        "LEGENDE_X_DISPLAY=no",
        "GRAPH_DATA_FILE=" + name + ".txt",
        "GRAPH_DURATION_MODE=day",
        "GRAPH_DURATION_PERIOD=1",
        "GRAPH_DURATION_PERIOD_WEDGE_DATE=20251205",
        "GRAPH_DURATION_PERIOD_WEDGE_TIME=180000",
        "GRAPH_VALUES_ZOOM=yes",
        "GRAPH_AXE_VERTICAL_NUMBEROFVALUES=%d" % count,
        "LEGENDE_Y_ROUND=yes",
        "LEGENDE_Y_THOUSANDS=" + thousands,
        "GRAPH_PRINT_GIF_VALID=no",
        "GRAPH_PRINT_SVG_VALID=yes",
        "GRAPH_PRINT_SVG_NAME=" + name + ".svg",
        ""])


def labels(svg):
    """(text, row) of each text group, the row its glyphs stand on."""
    found = []
    for text, uses in re.findall(r'<g [^>]*aria-label="([^"]*)">(.*?)</g>', svg):
        rows = re.findall(r'<use [^>]* y="(-?\d+)"', uses)
        found.append((text.replace("&#32;", " "), int(rows[0])))
    return found


def check(name, values, count, mark, decimal, found):
    pattern = re.compile(r"^-?\d{1,3}(?:" + re.escape(mark) + r"\d{3})*(?:" + re.escape(decimal) + r"\d+)?$"
                         if mark else r"^-?\d+(?:" + re.escape(decimal) + r"\d+)?$")
    for text, _ in found:
        if not pattern.match(text):
            fail("%s: label %r is not a number written with %r and %r" % (name, text, mark, decimal))
    if not abs(len(found) - count) <= 1:
        fail("%s: %d labels for %d asked" % (name, len(found), count))
    found.sort(key=lambda label: -label[1])  # lowest row first
    numbers = [Fraction(t.replace(mark, "").replace(decimal, ".")) if mark else
               Fraction(t.replace(decimal, ".")) for t, _ in found]
    if any(b <= a for a, b in zip(numbers, numbers[1:])):
        fail("%s: values %s do not rise up the axis" % (name, [t for t, _ in found]))
    step = numbers[1] - numbers[0]
    if any(b - a != step for a, b in zip(numbers, numbers[1:])):
        fail("%s: labels %s not one step apart" % (name, [t for t, _ in found]))
    power = Fraction(10) ** math.floor(math.log10(step))
    if step / power not in (1, 2, Fraction(5, 2), 5):
        fail("%s: step %s is not 1, 2, 2.5 or 5 times a power of ten" % (name, float(step)))
    if any(n % step for n in numbers):
        fail("%s: labels %s are not whole steps" % (name, [t for t, _ in found]))
    places = max(0, -math.floor(math.log10(step / 5 if step / power == Fraction(5, 2) else step)))
    for text, _ in found:
        written = len(text.split(decimal)[1]) if decimal in text else 0
        if written != places:
            fail("%s: %r has %d decimals, the step %s needs %d" % (name, text, written, float(step), places))
    if not (numbers[0] <= Fraction(min(values)).limit_denominator(10000) and
            numbers[-1] >= Fraction(max(values)).limit_denominator(10000)):
        fail("%s: labels %s do not bracket %s..%s" % (name, [t for t, _ in found], min(values), max(values)))


def main():
    program = sys.argv[1]
    work = tempfile.mkdtemp(prefix="round-values-")
    try:
        lines = ["INDICEGIF_SERVICE=yes", "INDICEGIF_LOG=log.txt"]
        for n, (name, (values, count, thousands, _, _)) in enumerate(CASES.items(), 1):
            with open(os.path.join(work, name + ".txt"), "w") as data:
                for i, v in enumerate(values):
                    data.write("20251205;%02d3000;%s\n" % (9 + i, repr(v)))
            with open(os.path.join(work, name + ".ini"), "w") as graph:
                graph.write(graph_file(name, count, thousands))
            lines.append("INDICEGIF_FILE_%d=%s.ini" % (n, name))
        with open(os.path.join(work, "zkQuoteForge.ini"), "w") as config:
            config.write("\n".join(lines) + "\n")
        run = subprocess.run([program, "-unique"], cwd=work, env=dict(os.environ, TZ="UTC"),
                             capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            fail("the pass failed (%d):\n%s%s" % (run.returncode, run.stdout, run.stderr))
        for name, (values, count, _, mark, decimal) in CASES.items():
            with open(os.path.join(work, name + ".svg")) as svg:
                check(name, values, count, mark, decimal, labels(svg.read()))
        print("round_values_test: %d charts checked" % len(CASES))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
