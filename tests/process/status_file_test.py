#!/usr/bin/python3
"""The status file of a one-shot pass, read by the Prometheus client library's
own parser: a good chart, one whose data file is missing, one whose graph
file is missing, one whose window holds no record, one whose records no
longer read, one with trading sessions, and an update address that fails; the failures give the run
exit status 1. Every series the shipped alert rules watch is among those
written.

    status_file_test.py PROGRAM
"""
import os
import re
import subprocess
import sys
import tempfile
import time

from prometheus_client.parser import text_string_to_metric_families


def main():
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="zkstatus-") as work:
        data = subprocess.run([program, "-datamaker"], check=True, capture_output=True, text=True).stdout
        with open(os.path.join(work, "data.txt"), "w") as f:
            f.write(data)
        chart = ("GRAPH_DATA_FILE={data}\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                 "GRAPH_PRINT_GIF_NAME={name}.gif\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME={name}.png\n")
        with open(os.path.join(work, "good.ini"), "w") as f:
            f.write(chart.format(data="data.txt", name="good"))
        with open(os.path.join(work, "no data.ini"), "w") as f:
            f.write(chart.format(data="missing.txt", name="nodata"))
        with open(os.path.join(work, "format.ini"), "w") as f:
            f.write(chart.format(data="format.txt", name="format"))
        with open(os.path.join(work, "format.txt"), "w") as f:
            f.write("# ISO dates now\n2025-12-05;17:30:00;4512.37\n2025-12-05;17:40:00;4513.10\n")
        with open(os.path.join(work, "closed.ini"), "w") as f:
            f.write(chart.format(data="data.txt", name="closed") + "GRAPH_DURATION_PERIOD_WEDGE_DATE=20000101\n")
        with open(os.path.join(work, "closes.csv"), "w") as f:
            f.write("Date,Close\n2025-12-04,8013.22\n2025-12-05,8061.9\n")
        with open(os.path.join(work, "sources.ini"), "w") as f:
            f.write("[closes]\nSOURCE_FROM=closes.csv\nSOURCE_INTO=closes.txt\n"
                    "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\n")
        # Trading sessions around the clock on weekdays: the market signal.
        with open(os.path.join(work, "sessions.ini"), "w") as f:
            f.write(chart.format(data="data.txt", name="sessions") + "GRAPH_SESSIONS=00:00-24:00\n")
        with open(os.path.join(work, "zkQuoteForge.ini"), "w") as f:
            f.write("INDICEGIF_SERVICE=yes\nINDICEGIF_STATUS_FILE=status/zkquoteforge.prom\nINDICEGIF_SOURCES=sources.ini\n"
                    "INDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=ftp://nowhere/\n"
                    "INDICEGIF_FILE_1=good.ini\nINDICEGIF_FILE_2=no data.ini\nINDICEGIF_FILE_3=gone.ini\n"
                    "INDICEGIF_FILE_4=closed.ini\nINDICEGIF_FILE_5=format.ini\nINDICEGIF_FILE_6=sessions.ini\n")
        os.mkdir(os.path.join(work, "status"))
        before = time.time()
        run = subprocess.run([program, "-unique"], cwd=work, stdout=subprocess.DEVNULL, timeout=120)
        assert run.returncode == 1, run.returncode
        after = time.time()
        leftovers = [n for n in os.listdir(os.path.join(work, "status")) if n != "zkquoteforge.prom"]
        assert not leftovers, leftovers
        with open(os.path.join(work, "status", "zkquoteforge.prom")) as f:
            text = f.read()

    samples = {}
    for family in text_string_to_metric_families(text):
        assert family.type == "gauge", family
        assert family.documentation, family
        for s in family.samples:
            samples[(s.name, tuple(sorted(s.labels.items())))] = s.value

    def value(name, **labels):
        return samples[(name, tuple(sorted(labels.items())))]

    start = value("zkquoteforge_last_pass_start_timestamp_seconds")
    end = value("zkquoteforge_last_pass_end_timestamp_seconds")
    assert before - 1 <= start <= end <= after + 1, (before, start, end, after)
    assert abs(value("zkquoteforge_last_pass_duration_seconds") - (end - start)) < 0.002
    assert value("zkquoteforge_last_pass_charts_built") == 2
    assert value("zkquoteforge_last_pass_charts_failed") == 3
    assert value("zkquoteforge_last_pass_charts_no_data") == 1
    assert value("zkquoteforge_last_pass_images_written") == 4
    assert value("zkquoteforge_last_pass_images_unchanged") == 0
    assert value("zkquoteforge_last_successful_pass_timestamp_seconds") == 0
    assert value("zkquoteforge_last_pass_update_ok", step="address") == 0
    assert start <= value("zkquoteforge_chart_last_success_timestamp_seconds", graph_file="good.ini") <= end
    assert value("zkquoteforge_chart_last_attempt_failed", graph_file="good.ini") == 0
    for failed in ("no data.ini", "gone.ini", "format.ini"):
        assert value("zkquoteforge_chart_last_success_timestamp_seconds", graph_file=failed) == 0
        assert value("zkquoteforge_chart_last_attempt_failed", graph_file=failed) == 1
    outcomes = {"good.ini": "built", "sessions.ini": "built", "no data.ini": "failed", "gone.ini": "failed", "closed.ini": "no_data",
                "format.ini": "failed"}
    for chart, outcome in outcomes.items():
        for other in ("built", "no_data", "failed"):
            assert value("zkquoteforge_chart_outcome", graph_file=chart, outcome=other) == (other == outcome)
    assert value("zkquoteforge_chart_failure", graph_file="no data.ini", cause="data_file") == 1
    assert value("zkquoteforge_chart_failure", graph_file="gone.ini", cause="graph_file") == 1
    assert value("zkquoteforge_chart_failure", graph_file="format.ini", cause="data_format") == 1
    assert value("zkquoteforge_data_file_unreadable_lines", data_file="format.txt") == 2
    assert value("zkquoteforge_data_file_unreadable_lines", data_file="data.txt") == 0
    # The data maker's records run three and a half days ahead: the newest
    # taken is the last one before the hour ahead that clocks may differ by.
    for chart in ("good.ini", "closed.ini"):
        newest = value("zkquoteforge_chart_newest_record_timestamp_seconds", graph_file=chart)
        assert before + 3600 - 600 < newest <= after + 3600, (before, newest)
    assert value("zkquoteforge_last_pass_update_ok", step="sources") == 1
    assert value("zkquoteforge_source_ok", source="closes") == 1
    assert value("zkquoteforge_source_records_added", source="closes") == 2
    assert value("zkquoteforge_source_records_replaced", source="closes") == 0
    assert start <= value("zkquoteforge_source_last_success_timestamp_seconds", source="closes") <= end
    assert value("zkquoteforge_source_newest_record_timestamp_seconds", source="closes") > 0
    assert value("zkquoteforge_chart_market_open", graph_file="sessions.ini") in (0, 1)
    newest = value("zkquoteforge_chart_newest_record_timestamp_seconds", graph_file="sessions.ini")
    assert newest < value("zkquoteforge_chart_next_record_due_timestamp_seconds", graph_file="sessions.ini")
    assert len(samples) == 57, sorted(samples)
    rules = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "monitoring", "alert-rules.yml")
    with open(rules) as f:
        watched = set(re.findall(r"\bzkquoteforge_[a-z_]+", f.read()))
    written = {name for name, _ in samples}
    assert watched and watched <= written, watched - written
    print("status file: %d samples parsed" % len(samples))


if __name__ == "__main__":
    main()
