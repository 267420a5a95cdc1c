#!/usr/bin/env bash
# "cmake --install" into a fresh prefix: the program, its manual page, the
# documentation and the alert rules where the Debian package (and an
# administrator) looks for them. The rest of the package's layout is
# scripts/test-package's.
#     install_layout_test.sh BUILD_DIR
set -euo pipefail
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
for f in bin/zkQuoteForge share/man/man1/zkQuoteForge.1 \
         share/doc/zkquoteforge/README.md share/doc/zkquoteforge/running.md \
         share/doc/zkquoteforge/configuration.md share/doc/zkquoteforge/design.md \
         share/doc/zkquoteforge/performance.md \
         share/doc/zkquoteforge/gallery/mode_day.png share/zkquoteforge/alert-rules.yml \
         share/zkquoteforge/calendars/euronext_paris.ini share/zkquoteforge/calendars/nyse_new_york.ini; do
  [ -s "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
[ -x "$prefix/bin/zkQuoteForge" ] || { echo "bin/zkQuoteForge is not executable"; exit 1; }
echo "install layout: ok"
