#!/usr/bin/python3
"""Unchanged images left as they are, through the real service on the disk
(INDICEGIF_KEEP_UNCHANGED=yes): passes with nothing changed keep every
image's modification time and inode and leave no temporary file; one value
corrected in one data file rewrites exactly the images of the chart that
shows it; an image removed or overwritten by hand is written again, in the
running service and after a restart; three workers give the same files and
lines as one.

    unchanged_images_test.py PROGRAM
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

CHARTS = {"a": "data1.txt", "b": "data1.txt", "c": "data2.txt"}
IMAGES = ["out/%s.%s" % (name, ext) for name in sorted(CHARTS) for ext in ("gif", "png")]


def records(shift):
    """Three days of hourly records up to 20261204 170000."""
    lines = []
    for day, date in enumerate(("20261202", "20261203", "20261204")):
        for hour in range(24 if day < 2 else 18):
            lines.append("%s;%02d0000;%.1f" % (date, hour, 6000 + shift + 40 * ((day * 24 + hour) % 17)))
    return lines


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def stats(work):
    """Each image's (modification time, inode)."""
    out = {}
    for image in IMAGES:
        st = os.stat(os.path.join(work, image))
        out[image] = (st.st_mtime_ns, st.st_ino)
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def status(work):
    text = open(os.path.join(work, "status.prom")).read()
    return {m.group(1): float(m.group(2)) for m in re.finditer(r"^(zkquoteforge_last_pass_\w+) (\S+)$", text, re.M)}


def chart_lines(console):
    return re.findall(r"- (file\.\.\. .*)$", console, re.M)


class Service:
    """The program as a service, a pass a second; passes told by its console."""

    def __init__(self, program, work):
        self.console = os.path.join(work, "console.txt")
        self.process = subprocess.Popen([program], cwd=work, stdout=open(self.console, "w"),
                                        stderr=subprocess.STDOUT)
        self.seen = 0

    def next_pass(self):
        """The chart lines of the next pass, once it has ended."""
        deadline = time.time() + 60
        while time.time() < deadline:
            lines = chart_lines(open(self.console).read())
            if len(lines) >= self.seen + len(CHARTS):
                # The status file follows the pass's last line.
                time.sleep(0.3)
                self.seen += len(CHARTS)
                return lines[self.seen - len(CHARTS):self.seen]
            assert self.process.poll() is None, open(self.console).read()
            time.sleep(0.02)
        raise AssertionError("no pass ended: " + open(self.console).read())

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        assert self.process.wait(timeout=60) == 0


def one_shot(program, work):
    run = subprocess.run([program, "-unique"], cwd=work, capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stdout
    return chart_lines(run.stdout)


def main():
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="zkunchanged-", dir="/var/tmp") as work:
        os.mkdir(os.path.join(work, "out"))
        write(os.path.join(work, "data1.txt"), "\n".join(records(0)) + "\n")
        write(os.path.join(work, "data2.txt"), "\n".join(records(500)) + "\n")
        for name, data in CHARTS.items():
            write(os.path.join(work, name + ".ini"),
                  "GRAPH_NAME=Chart %s\nGRAPH_DATA_FILE=%s\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=3\n"
                  "GRAPH_DURATION_PERIOD_WEDGE_DATE=20261204\nGRAPH_DURATION_PERIOD_WEDGE_TIME=180000\n"
                  "GRAPH_PRINT_GIF_NAME=out/%s.gif\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME=out/%s.png\n"
                  % (name, data, name, name))
        config = ("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=1\nINDICEGIF_KEEP_UNCHANGED=yes\n"
                  "INDICEGIF_STATUS_FILE=status.prom\nINDICEGIF_LOG=log.txt\n"
                  "INDICEGIF_FILE_1=a.ini\nINDICEGIF_FILE_2=b.ini\nINDICEGIF_FILE_3=c.ini\n")
        write(os.path.join(work, "zkQuoteForge.ini"), config)

        service = Service(program, work)
        first = service.next_pass()
        assert all(line.endswith(": GIF ok; PNG ok; done") for line in first), first
        before = stats(work)
        drawn = {image: read(os.path.join(work, image)) for image in IMAGES}

        # Nothing changed: nothing written, no temporary file.
        lines = service.next_pass()
        assert all(line.endswith(": GIF ok (unchanged); PNG ok (unchanged); done") for line in lines), lines
        assert stats(work) == before
        assert sorted(os.listdir(os.path.join(work, "out"))) == sorted(os.path.basename(i) for i in IMAGES)
        assert status(work)["zkquoteforge_last_pass_images_unchanged"] == 6
        assert status(work)["zkquoteforge_last_pass_images_written"] == 0

        # One value corrected in data2.txt: only chart c is written.
        corrected = records(500)
        corrected[30] = corrected[30].rsplit(";", 1)[0] + ";7900.0"
        write(os.path.join(work, "data2.txt"), "\n".join(corrected) + "\n")
        lines = service.next_pass()
        assert lines[2].endswith("c.ini: GIF ok; PNG ok; done"), lines
        after = stats(work)
        for image in IMAGES:
            assert (after[image] != before[image]) == image.startswith("out/c."), image
        assert status(work)["zkquoteforge_last_pass_images_written"] == 2
        before = after

        # By hand: a.gif removed, b.png overwritten with its size kept.
        os.remove(os.path.join(work, "out/a.gif"))
        write(os.path.join(work, "out/b.png"), "x" * len(drawn["out/b.png"]))
        lines = service.next_pass()
        assert lines[0].endswith("a.ini: GIF ok; PNG ok (unchanged); done"), lines
        assert lines[1].endswith("b.ini: GIF ok (unchanged); PNG ok; done"), lines
        for image in ("out/a.gif", "out/b.png"):
            assert read(os.path.join(work, image)) == drawn[image], image
        after = stats(work)
        for image in IMAGES:
            assert (after[image] != before[image]) == (image in ("out/a.gif", "out/b.png")), image
        service.stop()

        # After a restart, one pass: the file itself decides.
        before = stats(work)
        write(os.path.join(work, "out/b.gif"), "GIF89a, but not this chart")
        lines = one_shot(program, work)
        assert lines[1].endswith("b.ini: GIF ok; PNG ok (unchanged); done"), lines
        assert read(os.path.join(work, "out/b.gif")) == drawn["out/b.gif"]
        after = stats(work)
        for image in IMAGES:
            assert (after[image] != before[image]) == (image == "out/b.gif"), image

        # Three workers: the same files, found unchanged, and the same lines as one.
        one = one_shot(program, work)
        write(os.path.join(work, "zkQuoteForge.ini"), config + "INDICEGIF_THREADS=3\n")
        three = one_shot(program, work)
        assert three == one, (one, three)
        assert stats(work) == after
        leftovers = [n for n in os.listdir(os.path.join(work, "out")) if n.startswith(".")]
        assert not leftovers, leftovers
    print("unchanged images: every step as expected")


if __name__ == "__main__":
    main()
