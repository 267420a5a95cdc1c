#!/usr/bin/env bash
# "cmake --install" into a fresh prefix: the program, the example, the
# documentation and the service unit where an administrator looks for them,
# and the unit, which names the installed program, accepted by systemd-analyze.
#     install_layout_test.sh BUILD_DIR
set -euo pipefail
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
for f in bin/zkQuoteForge \
         share/zkQuoteForge/examples/zkQuoteForge.ini share/zkQuoteForge/examples/index.html \
         share/zkQuoteForge/examples/charts/day_curve.ini \
         share/doc/zkQuoteForge/README.md share/doc/zkQuoteForge/configuration.md \
         share/doc/zkQuoteForge/gallery/mode_day.png \
         lib/systemd/system/zkquoteforge.service; do
  [ -s "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ -x "$prefix/bin/zkQuoteForge" ] || { echo "bin/zkQuoteForge is not executable"; exit 1; }
# Every graph file the example configuration names is installed with it.
grep -o '^INDICEGIF_FILE_[0-9]*=.*' "$prefix/share/zkQuoteForge/examples/zkQuoteForge.ini" | cut -d= -f2 |
  while read -r g; do [ -s "$prefix/share/zkQuoteForge/examples/$g" ] || { echo "missing: $g"; exit 1; }; done
unit="$prefix/lib/systemd/system/zkquoteforge.service"
grep -qx "ExecStart=$prefix/bin/zkQuoteForge" "$unit" || { echo "the unit does not run the installed program"; exit 1; }
out="$(systemd-analyze verify "$unit" 2>&1)" || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
echo "install layout and unit: ok"
