#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Seeds are small, valid inputs for each header layout (described at the top of
each target), so the fuzzers start from files that reach deep into the code.
Run it again after changing a layout; files found by fuzzing that made a
target crash are kept under their own names (crash-*) and are not touched.
"""
import os
import struct

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- properties ---------------------------------------------------------------
graph_file = b"""# A chart
GRAPH_DATA_FILE=data.txt
GRAPH_DURATION_MODE=day
GRAPH_DURATION_PERIOD = 5
GRAPH_PRINT_GIF_LZWCOMPRESS=yes
GRAPH_PRINT_PNG_VALID=Oui
FONT_PEN=Helvetica;plain;10
GRAPH_NAME_FONT=Helvetica;Bold Italic;11
COLOR_FOND=255;255;255
COLOR_PEN=20;;20;60;extra
COLOR_BAD=256;0;0
  ; comment = not a key
GRAPH_NAME = Index = CAC 40 ; %d/%m
=no key
[section]
"""
put("properties_fuzz", "graph_file", b"\x00" + graph_file)
put("properties_fuzz", "verbose_cr_only", b"\x01" + graph_file.replace(b"\n", b"\r"))
put("properties_fuzz", "bom_crlf", b"\x01\xef\xbb\xbf" + graph_file.replace(b"\n", b"\r\n"))
put("properties_fuzz", "latin1", b"\x00GRAPH_NAME=Indice g\xe9n\xe9ral\nFONT_PEN=Caf\xe9;gras;-3\nV=vrai\n")
put("properties_fuzz", "app_config",
    b"\x00INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nAPPLI_READINI_TIMER=-1\n"
    b"INDICEGIF_FILE_1=charts/a.ini\nINDICEGIF_URLUPDATE_URL=http://h/u?a=b==c\n")

# ---- data files ---------------------------------------------------------------
def data_seed(mode_a, period_a, end_hours, mode_b, period_b, cut, text):
    return struct.pack(">BBhBBB", mode_a, period_a, end_hours, mode_b, period_b, cut) + text


daily = b"".join(b"200111%02d;173000;%d,%02d\n" % (d, 4500 + d * 7, d) for d in range(1, 22) if d != 14)
minutes = b"".join(b"20011121;%02d%02d00;%d.5\n" % (9 + m // 60, m % 60, 3000 - m) for m in range(0, 240, 5))
hours = b"".join(b"200110%02d;%02d0000;%d\n" % (27 + h // 24, h % 24, h) for h in range(0, 72, 3))
mixed = (b"\r\n; comment\n# other\nno separator\n20011121;173000\n20011121;;173000;;12;x\n"
         b"20011120;173000;1e3\n20011120;173000;7\n20011119;090000;NaN\n20010132;246060;-5\n")
# Day mode, weekends hidden then shown; month; hour across the autumn change of time; minute.
put("datafile_fuzz", "day_weekends_hidden", data_seed(0x02, 30, 0, 0x0A, 10, 128, daily))
put("datafile_fuzz", "day_weekends_shown_zoom", data_seed(0x1A, 7, 0, 0x02, 3, 200, daily))
put("datafile_fuzz", "month_then_none", data_seed(0x01, 1, 0, 0x00, 0, 100, daily + mixed))
put("datafile_fuzz", "hour_summer_time", data_seed(0x63, 120, -24 * 24, 0x43, 48, 64, hours))
put("datafile_fuzz", "minute_gaps", data_seed(0x24, 255, -2, 0x04, 30, 90, minutes))
put("datafile_fuzz", "clock_end_mixed", data_seed(0x42, 10, -32768, 0x42, 0, 20, mixed + daily))

# ---- encoders -----------------------------------------------------------------
def image(flags, width, height, colours, runs):
    return struct.pack(">BHHH", flags, width, height, colours) + b"".join(bytes(r) for r in runs)


chart_like = image(0, 40, 30, 6, [(0x85, 0), (12, 1), (3, 2), (0x81, 0), (7, 3), (1, 4), (0x3F, 5)])
stripes = image(0, 17, 9, 3, [(1, 0), (1, 1), (1, 2), (5, 0)])
many = image(0, 64, 64, 300, [(0, c) for c in range(256)] + [(0x40, 0x2C)])
alpha = image(4, 20, 20, 40, [(2, c) for c in range(40)])
wide = image(1, 65535, 2, 2, [(0xFF, 0), (0xFF, 1)])
single = image(0, 1, 1, 1, [])
put("gif_lzw_fuzz", "chart_like", b"\x00\x00\x00" + chart_like)
put("gif_lzw_fuzz", "planes", b"\x01\x00\x00" + stripes)
put("gif_lzw_fuzz", "many_colours", b"\x00\x00\x00" + many)
put("gif_lzw_fuzz", "grab_fails", b"\x02\x00\x00" + single)
put("gif_lzw_fuzz", "output_fails", b"\x04\x00\x40" + chart_like)
put("gif_lzw_fuzz", "wide", b"\x00\x00\x00" + wide)
put("gif_runlength_fuzz", "chart_like", b"\x00\x00\x00\x00" + chart_like)
put("gif_runlength_fuzz", "transparent", b"\x01\x02\x00\x00" + stripes)
put("gif_runlength_fuzz", "alpha_colours", b"\x00\x00\x00\x00" + alpha)
put("gif_runlength_fuzz", "many_colours", b"\x00\x00\x00\x00" + many)
put("gif_runlength_fuzz", "wrong_size", b"\x02\x00\x00\x00" + stripes)
put("gif_runlength_fuzz", "output_fails", b"\x04\x00\x00\x30" + chart_like)
put("gif_runlength_fuzz", "wide", b"\x00\x00\x00\x00" + wide)
put("png_fuzz", "chart_like", b"\x00\x00\x00" + chart_like)
put("png_fuzz", "alpha_sub_9", b"\x05\x01\x09" + alpha)
put("png_fuzz", "up_6", b"\x00\x02\x06" + stripes)
put("png_fuzz", "unknown_settings", b"\x04\x07\xf0" + chart_like)
put("png_fuzz", "grab_fails", b"\x12\x00\x00" + chart_like)
put("png_fuzz", "wide", b"\x00\x00\x00" + wide)

# ---- whole charts -------------------------------------------------------------
# The example charts over data around the fuzz clock (21/11/2001 18:00).
import datetime
import math

examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "charts")
now = datetime.datetime(2001, 11, 21, 18, 0, 0)


def series(span, step):
    lines = []
    t = now - span
    while t <= now:
        k = (t - now).total_seconds() / 3600.0
        lines.append("%s;%s;%s\n" % (t.strftime("%Y%m%d"), t.strftime("%H%M%S"),
                                     ("%.2f" % (4500 + 300 * math.sin(k / 7.0) + 40 * math.cos(k))).replace(".", ",")))
        t += step
    return "".join(lines).encode()


spans = {"minute": (datetime.timedelta(minutes=40), datetime.timedelta(minutes=1)),
         "hour": (datetime.timedelta(hours=14), datetime.timedelta(minutes=20)),
         "day": (datetime.timedelta(days=8), datetime.timedelta(hours=4)),
         "month": (datetime.timedelta(days=35), datetime.timedelta(days=1))}
for name in sorted(os.listdir(examples)):
    if not name.endswith(".ini"):
        continue
    with open(os.path.join(examples, name), "rb") as f:
        graph = f.read()
    mode = next((l.split(b"=", 1)[1].strip().decode() for l in graph.splitlines()
                 if l.startswith(b"GRAPH_DURATION_MODE")), "day")
    chart = graph + b"\n----\n" + series(*spans.get(mode, spans["day"]))
    put("chart_fuzz", name[:-4], b"\x01" + chart)
    put("svg_fuzz", name[:-4], b"\x01" + chart)
    put("scaled_fuzz", name[:-4], bytes([len(name) % 3]) + b"\x01" + chart)
no_data = b"\x01GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\nGRAPH_PRINT_PNG_VALID=yes\n----\n"
put("chart_fuzz", "no_data", no_data)
put("svg_fuzz", "no_data", no_data)
put("scaled_fuzz", "no_data", b"\x00" + no_data)
exact = (b"\x01GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\nGRAPH_PRINT_PNG_VALID=yes\n"
         b"GRAPH_PRINT_EXACT_SIZE=yes\nGRAPH_CURVE_MOUNTAIN=yes\nGRAPH_HISTOGRAM_DISPLAY=yes\n----\n" + series(*spans["day"]))
put("chart_fuzz", "exact_size", exact)
put("svg_fuzz", "exact_size", exact)
put("scaled_fuzz", "exact_size", b"\x00" + exact)
