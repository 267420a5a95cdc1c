#!/usr/bin/python3
"""The bundled example's page in headless Chromium after a one-shot pass:
every image the pass wrote is on the page, and the browser decodes each one
with its configured size and the same set of colours as giflib and libpng.
The service and the browser run in zones 25 hours apart, so that the dated
names are found only when the page uses the service's zone. The page is shown
at two screen pixels per CSS pixel, so the browser takes the @2x PNG of an
<img srcset>; that image and the SVG display at their configured 1x CSS size.
A second page puts two charts' SVG markup inline: every id on it is
distinct and every glyph a chart places is found in that chart's own <svg>.

    browser_test.py PROGRAM REFERENCE_COLOURS EXAMPLES_DIR
"""
import functools
import html
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

# Loads the page in a frame, then reads every image of it back through a canvas.
CHECK_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>
<iframe id="page" src="index.html?tz=Pacific/Kiritimati" width="1600" height="1200"></iframe>
<iframe id="inline" src="inline.html" width="800" height="600"></iframe>
<pre id="result">pending</pre>
<script>
window.addEventListener("load", () => {
  const images = [];
  for (const img of document.getElementById("page").contentDocument.images) {
    // The @2x file of a srcset counts half its pixels as its natural size:
    // read it back at its own.
    const scale = img.currentSrc.includes("@2x.") ? 2 : 1;
    const canvas = document.createElement("canvas");
    canvas.width = img.naturalWidth * scale;
    canvas.height = img.naturalHeight * scale;
    const colours = new Set();
    if (img.complete && img.naturalWidth > 0) {
      const context = canvas.getContext("2d", {willReadFrequently: true});
      context.imageSmoothingEnabled = false;
      context.drawImage(img, 0, 0, canvas.width, canvas.height);
      const px = context.getImageData(0, 0, canvas.width, canvas.height).data;
      const hex = (v) => v.toString(16).padStart(2, "0").toUpperCase();
      for (let i = 0; i < px.length; i += 4)
        colours.add(hex(px[i]) + hex(px[i + 1]) + hex(px[i + 2]) + hex(px[i + 3]));
    }
    images.push({src: new URL(img.currentSrc).pathname, width: canvas.width, height: canvas.height,
                 cssWidth: img.width, cssHeight: img.height, colours: [...colours].sort()});
  }
  // Two charts' SVG markup in one page: each <use> must find its glyph in its own <svg>.
  const inline = document.getElementById("inline").contentDocument;
  const ids = [...inline.querySelectorAll("[id]")].map((e) => e.id);
  const uses = [...inline.querySelectorAll("use")];
  const strays = uses.filter((u) => {
    const target = inline.getElementById(u.getAttribute("xlink:href").slice(1));
    return !target || target.closest("svg") !== u.closest("svg");
  }).length;
  const labelled = [...inline.querySelectorAll("svg")].filter(
    (svg) => svg.querySelector("title") === inline.getElementById(svg.getAttribute("aria-labelledby"))).length;
  document.getElementById("result").textContent = JSON.stringify({
    images: images,
    inline: {svgs: inline.querySelectorAll("svg").length, ids: ids.length, distinct: new Set(ids).size,
             uses: uses.length, strays: strays, labelled: labelled}});
});
</script></body></html>
"""


def configured_sizes(examples):
    """Image path -> (width, height) the graph files ask for: the run-length
    GIF has the configured size, the LZW GIF and the PNG one pixel more, but
    for an exact size (GRAPH_PRINT_EXACT_SIZE, the web style's default)."""
    sizes = {}
    # The charts of examples/charts/, the one of the data source example and
    # those of the trading time example.
    names = ["charts/" + n for n in sorted(os.listdir(os.path.join(examples, "charts")))] + ["source/closes.ini"]
    names += ["trading/" + n for n in sorted(os.listdir(os.path.join(examples, "trading"))) if n.endswith(".ini")]
    for name in names:
        keys = {}
        with open(os.path.join(examples, name), encoding="utf-8") as f:
            for line in f:
                if "=" in line and not line.lstrip().startswith(("#", ";")):
                    k, v = line.split("=", 1)
                    keys[k.strip()] = v.strip()
        w, h = int(keys["GRAPH_PRINT_WIDTH"]), int(keys["GRAPH_PRINT_HEIGHT"])
        lzw = keys.get("GRAPH_PRINT_GIF_LZWCOMPRESS", "no").lower() in ("yes", "1", "true")
        web = keys.get("GRAPH_STYLE", "none").lower() == "web"
        exact = keys.get("GRAPH_PRINT_EXACT_SIZE", "yes" if web else "no").lower() in ("yes", "1", "true")
        more = 0 if exact else 1
        sizes[(name, "gif")] = (w + more, h + more) if lzw else (w, h)
        sizes[(name, "png")] = (w + more, h + more)
        sizes[(name, "svg")] = (w + more, h + more)
        sizes[(name, "png@2x")] = (2 * (w + more), 2 * (h + more))
    return sizes


def main():
    program, reference, examples = (os.path.abspath(a) for a in sys.argv[1:4])
    with tempfile.TemporaryDirectory(prefix="zkbrowser-") as work:
        site = os.path.join(work, "site")
        shutil.copytree(examples, site, ignore=shutil.ignore_patterns("out", "data.txt", "*.txt", "*.png"))
        # The trading time example's fixed data.
        shutil.copytree(os.path.join(examples, "trading"), os.path.join(site, "trading"), dirs_exist_ok=True)
        data = subprocess.run([program, "-datamaker"], check=True, capture_output=True, text=True).stdout
        with open(os.path.join(site, "data.txt"), "w") as f:
            f.write(data)
        os.mkdir(os.path.join(site, "out"))
        console = subprocess.run([program, "-unique", "-v"], cwd=site, check=True, capture_output=True,
                                 text=True, timeout=120, env=dict(os.environ, TZ="Pacific/Kiritimati")).stdout
        with open(os.path.join(site, "check.html"), "w") as f:
            f.write(CHECK_PAGE)
        write_inline_page(program, site)

        # Which graph file wrote which image, from the pass's verbose console.
        writer = {}
        chart = None
        for line in console.splitlines():
            m = re.search(r"Read Configuration from : ((?:charts|source|trading)/\S+)", line)
            if m:
                chart = m.group(1)
            m = re.search(r"Writing (GIF|PNG|SVG) Image in (\S.*)$", line)
            if m:
                kind = m.group(1).lower() + ("@2x" if "@2x." in m.group(2) else "")
                writer["/" + m.group(2)] = (chart, kind)
        # The page shows each @2x PNG through the srcset of its 1x one.
        written = sorted(path for path in writer if writer[path][1] != "png")
        shown_1x = [path for path in writer if writer[path][1] == "png" and
                    path.replace(".png", "@2x.png") not in writer]
        written = sorted(written + shown_1x)
        assert len(written) == 18, written

        handler = functools.partial(QuietHandler, directory=site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            url = "http://127.0.0.1:%d/check.html" % server.server_address[1]
            dom = subprocess.run(
                ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + os.path.join(work, "profile"), "--force-color-profile=srgb",
                 "--force-device-scale-factor=2",
                 "--dump-dom", url],
                check=True, capture_output=True, text=True, timeout=180,
                env=dict(os.environ, TZ="Pacific/Pago_Pago")).stdout
        finally:
            server.shutdown()
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        assert m, dom[-2000:]
        result = json.loads(html.unescape(m.group(1)))
        seen = {image["src"]: image for image in result["images"]}
        inline = result["inline"]
        assert inline["svgs"] == 2 and inline["uses"] > 0 and inline["ids"] == inline["distinct"], inline
        assert inline["strays"] == 0 and inline["labelled"] == 2, inline
        print("two SVGs inline: %d ids, all distinct; %d glyph uses, each in its own document" %
              (inline["ids"], inline["uses"]))

        sizes = configured_sizes(examples)
        assert sorted(seen) == written, (sorted(seen), written)
        for path in written:
            image = seen[path]
            expected = sizes[writer[path]]
            chart, kind = writer[path]
            css = sizes[(chart, "png" if kind == "svg" else kind.replace("@2x", ""))]
            assert (image["cssWidth"], image["cssHeight"]) == css, (path, image["cssWidth"], image["cssHeight"], css)
            if writer[path][1] == "svg":
                # Smoothed by the browser: its size only.
                assert (image["width"], image["height"]) == expected, (path, image["width"], image["height"])
                print("%-34s %dx%d, shown at %dx%d" % (path, expected[0], expected[1], css[0], css[1]))
                continue
            ref = json.loads(subprocess.run([reference, os.path.join(site, path[1:])], check=True,
                                            capture_output=True, text=True).stdout)
            assert (image["width"], image["height"]) == expected, (path, image["width"], image["height"], expected)
            assert (ref["width"], ref["height"]) == expected, (path, ref["width"], ref["height"], expected)
            assert image["colours"] == ref["colours"], (path, image["colours"], ref["colours"])
            print("%-34s %dx%d, %d colours" % (path, expected[0], expected[1], len(ref["colours"])))


def write_inline_page(program, site):
    """inline.html: the example's SVG and a second chart's, their markup put
    straight into one page, as a site that inlines its charts does."""
    second = os.path.join(site, "second")
    os.mkdir(second)
    shutil.copy(os.path.join(site, "data.txt"), second)
    with open(os.path.join(site, "charts", "high_density.ini"), encoding="utf-8") as f:
        graph = f.read()
    graph = re.sub(r"(?m)^GRAPH_NAME=.*$", "GRAPH_NAME=Second index", graph)
    graph = re.sub(r"(?m)^FONT_GRAPH_PEN=.*$", "FONT_GRAPH_PEN=Helvetica;bold;12", graph)
    graph = re.sub(r"(?m)^GRAPH_PRINT_PNG_VALID=.*$", "GRAPH_PRINT_PNG_VALID=no", graph)
    graph = graph.replace("out/high_density.svg", "second.svg")
    with open(os.path.join(second, "second.ini"), "w", encoding="utf-8") as f:
        f.write(graph)
    with open(os.path.join(second, "zkQuoteForge.ini"), "w") as f:
        f.write("INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=second.ini\n")
    subprocess.run([program, "-unique"], cwd=second, check=True, capture_output=True, timeout=120,
                   env=dict(os.environ, TZ="Pacific/Kiritimati"))
    parts = []
    for path in (os.path.join(site, "out", "high_density.svg"), os.path.join(second, "second.svg")):
        with open(path, encoding="utf-8") as f:
            parts.append(re.sub(r"^<\?xml[^>]*\?>\s*", "", f.read()))
    with open(os.path.join(site, "inline.html"), "w", encoding="utf-8") as f:
        f.write('<!DOCTYPE html>\n<html><head><meta charset="utf-8"></head><body>\n' + "\n".join(parts) +
                "\n</body></html>\n")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


if __name__ == "__main__":
    main()
