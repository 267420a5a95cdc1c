#!/usr/bin/python3
"""GRAPH_PRINT_EXACT_SIZE through the program's one-shot pass: every image
(run-length GIF, LZW GIF, PNG, SVG, at 1x, 2x and 3x) is exactly the
configured size, k times it at @kx, and is the chart laid out within it: the
same pixels as the chart one pixel narrower and lower without the key, whose
images span one pixel more. Without the key, the sizes stay as they were.

    exact_size_test.py PROGRAM SOURCE_DIR
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

W, H = 400, 250


def fail(message):
    print("exact_size_test: FAILED: " + message)
    sys.exit(1)


def image_size(path):
    data = open(path, "rb").read()
    if data[:4] == b"GIF8":
        return struct.unpack("<HH", data[6:10])
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack(">II", data[16:24])
    svg = re.search(rb'<svg [^>]*width="(\d+)" height="(\d+)" viewBox="0 0 (\d+) (\d+)"', data)
    if not svg or svg.group(1, 2) != svg.group(3, 4):
        fail(path + ": no svg size, or a view box of another size")
    return int(svg.group(1)), int(svg.group(2))


def graph_file(name, width, height, exact, lzw):
    return "\n".join([
        "GRAPH_NAME=chart",
        "GRAPH_DATA_FILE=intraday.txt",
        "GRAPH_DURATION_MODE=day",
        "GRAPH_DURATION_PERIOD=5",
        "GRAPH_DURATION_PERIOD_WEDGE_DATE=20251205",
        "GRAPH_DURATION_PERIOD_WEDGE_TIME=173000",
        "GRAPH_PRINT_WIDTH=%d" % width,
        "GRAPH_PRINT_HEIGHT=%d" % height,
        "GRAPH_PRINT_GIF_LZWCOMPRESS=" + ("yes" if lzw else "no"),
        "GRAPH_PRINT_GIF_NAME=" + name + ".gif",
        "GRAPH_PRINT_PNG_VALID=yes",
        "GRAPH_PRINT_PNG_NAME=" + name + ".png",
        "GRAPH_PRINT_SVG_VALID=yes",
        "GRAPH_PRINT_SVG_NAME=" + name + ".svg",
        "GRAPH_PRINT_SCALES=1;2;3",
        "GRAPH_COPYRIGHT_DISPLAY=yes",
        "GRAPH_COPYRIGHT=bottom caption",
        "GRAPH_PRINT_EXACT_SIZE=" + ("yes" if exact else "no"),
        ""])


def main():
    program, source = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="exact-size-")
    try:
        shutil.copy(os.path.join(source, "docs", "gallery", "intraday.txt"), work)
        charts = {
            # name: (width, height, exact, lzw)
            "exact": (W, H, True, False),
            "exact_lzw": (W, H, True, True),
            "plain": (W, H, False, False),
            "plain_lzw": (W, H, False, True),
            "smaller": (W - 1, H - 1, False, False),
        }
        lines = ["INDICEGIF_SERVICE=yes", "INDICEGIF_LOG=log.txt"]
        for n, (name, keys) in enumerate(charts.items(), 1):
            open(os.path.join(work, name + ".ini"), "w").write(graph_file(name, *keys))
            lines.append("INDICEGIF_FILE_%d=%s.ini" % (n, name))
        open(os.path.join(work, "zkQuoteForge.ini"), "w").write("\n".join(lines) + "\n")
        env = dict(os.environ, TZ="UTC")
        run = subprocess.run([program, "-unique"], cwd=work, env=env, capture_output=True, text=True, timeout=120)
        if run.returncode != 0 or "failed" in run.stdout:
            fail("the pass failed:\n" + run.stdout + run.stderr)

        def size(name, k, ext):
            return image_size(os.path.join(work, name + ("" if k == 1 else "@%dx" % k) + ext))

        for k in (1, 2, 3):
            for ext in (".gif", ".png", ".svg") if k == 1 else (".gif", ".png"):
                for name in ("exact", "exact_lzw"):
                    if size(name, k, ext) != (W * k, H * k):
                        fail("%s%s at %dx is %s, not %dx%d" % (name, ext, k, size(name, k, ext), W * k, H * k))
                # Without the key: one pixel more each way, but the run-length GIF.
                want = (W * k, H * k) if ext == ".gif" else ((W + 1) * k, (H + 1) * k)
                if size("plain", k, ext) != want or size("plain_lzw", k, ".gif") != ((W + 1) * k, (H + 1) * k):
                    fail("without the key, plain%s at %dx is %s" % (ext, k, size("plain", k, ext)))
            # Laid out within the size, not cut from the larger image.
            for ext in (".png", ".svg") if k == 1 else (".png",):
                suffix = ("" if k == 1 else "@%dx" % k) + ext
                exact = open(os.path.join(work, "exact" + suffix), "rb").read()
                smaller = open(os.path.join(work, "smaller" + suffix), "rb").read()
                if ext == ".svg":
                    # The ids come from a hash of the whole document, its size included.
                    strip = lambda b: re.sub(rb"zq[0-9a-f]+-", b"", b)
                    exact, smaller = strip(exact), strip(smaller)
                if exact != smaller:
                    fail("exact%s is not the chart laid out in %dx%d" % (suffix, W, H))
    finally:
        shutil.rmtree(work)
    print("exact_size_test: every image exactly %dx%d (k times at @kx), laid out within it" % (W, H))


main()
