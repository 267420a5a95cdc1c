#!/usr/bin/env bash
# The same charts drawn by the Linux build and by the Windows build under Wine
# must be the same bytes. Two families in their four styles, in one pass, then
# in the reverse order in another: a face loaded for one style must never
# stand in for another. Both builds see only the fonts of a folder made here,
# through fontconfig (Wine finds the system's fonts through it too).
# Run by scripts/test-windows, with the Wine prefix and server set up.
#   tests/windows/same_images_test.sh LINUX_PROGRAM WINDOWS_PROGRAM
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
linux="$(realpath "$1")"
windows="$(realpath "$2")"
work="$(mktemp -d /tmp/zksame.XXXXXX)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/fonts"
for family in Sans Serif; do
  for style in Regular Bold Italic BoldItalic; do
    cp "/usr/share/fonts/truetype/liberation2/Liberation$family-$style.ttf" "$work/fonts/"
  done
done
cat >"$work/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>$work/fonts</dir>
  <cachedir>$work/fontconfig-cache</cachedir>
</fontconfig>
EOF
export FONTCONFIG_FILE="$work/fonts.conf"
export XDG_CACHE_HOME="$work/cache"

charts=(sans_plain_bold sans_bold_plain serif_styles mixed_families)
reversed=(mixed_families serif_styles sans_bold_plain sans_plain_bold)

# pass NAME PROGRAM... -- CHART...: one pass over the charts in that order,
# in a folder of its own.
pass() {
  local dir="$work/$1" program=() n=1
  shift
  while [ "$1" != "--" ]; do program+=("$1"); shift; done
  shift
  mkdir -p "$dir/charts" "$dir/out"
  cp "$here"/same_images/*.ini "$dir/charts/"
  cp "$root/docs/gallery/intraday.txt" "$dir/"
  {
    echo "INDICEGIF_SERVICE=yes"
    echo "INDICEGIF_LOG=log.txt"
    for chart in "$@"; do echo "INDICEGIF_FILE_$n=charts/$chart.ini"; n=$((n + 1)); done
  } >"$dir/zkQuoteForge.ini"
  (cd "$dir" && "${program[@]}" -unique >console.txt) ||
    { echo "same_images_test: the $dir pass failed:" >&2; cat "$dir/console.txt" >&2; return 1; }
}
pass linux "$linux" -- "${charts[@]}"
pass linux-reversed "$linux" -- "${reversed[@]}"
pass windows "$root/scripts/wine-exec" "$windows" -- "${charts[@]}"
pass windows-reversed "$root/scripts/wine-exec" "$windows" -- "${reversed[@]}"

failures=0
for chart in "${charts[@]}"; do
  for ext in gif png; do
    [ -s "$work/linux/out/$chart.$ext" ] ||
      { echo "same_images_test: no $chart.$ext from the Linux build" >&2; failures=$((failures + 1)); }
  done
done
# Every image of the Linux build, the SVG and @2x images of some charts included.
count=0
for reference in "$work"/linux/out/*; do
  name="$(basename "$reference")"
  count=$((count + 1))
  for other in linux-reversed windows windows-reversed; do
    image="$work/$other/out/$name"
    if ! cmp -s "$reference" "$image"; then
      echo "same_images_test: $other/$name differs from the Linux build's" \
        "($(cmp -l "$reference" "$image" 2>/dev/null | wc -l) bytes)" >&2
      failures=$((failures + 1))
    fi
  done
done
[ "$failures" = 0 ] || exit 1
echo "same_images_test: ${#charts[@]} charts, $count images (GIF, PNG, SVG, @2x), the same bytes from both builds in both orders"
