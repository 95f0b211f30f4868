#!/usr/bin/env bash
# Draws the program's icon, window/ravolin.ico: a blue tile with a tab arrow
# (a run of spaces becoming one tab) between two lines of text. Each size is
# drawn on its own pixel grid, not scaled from the large one; at 16 px there
# is room for the arrow only. The icon is kept in the repository, so a build
# does not need ImageMagick; run this again after changing the drawing.
#
#   scripts/make-icon.sh [OUT.ico]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-window/ravolin.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Coordinates are given on a 256 grid and rounded to the size's own pixels.
draw() {  # SIZE
  local n=$1
  r() { printf '%d' "$(( ($1 * n + 128) / 256 ))"; }
  local far=$(( n - 1 - $(r 8) ))
  local args=(-size "${n}x${n}" xc:none
    -fill '#1f5fa8' -stroke '#123a68' -strokewidth "$(( n >= 96 ? n / 48 : 1 ))"
    -draw "roundrectangle $(r 8),$(r 8) $far,$far $(r 40),$(r 40)"
    -stroke none -fill white)
  if [ "$n" -ge 32 ]; then
    args+=(-draw "rectangle $(r 48),$(r 52) $(r 200),$(r 72)"
           -draw "rectangle $(r 128),$(r 184) $(r 208),$(r 204)")
  fi
  args+=(-fill '#ffc83a'
    -draw "rectangle $(r 48),$(r 118) $(r 150),$(r 138)"
    -draw "polygon $(r 130),$(r 96) $(r 178),$(r 128) $(r 130),$(r 160)"
    -draw "rectangle $(r 184),$(r 96) $(r 204),$(r 160)")
  convert "${args[@]}" -depth 8 -strip "PNG32:$tmp/$n.png"
}
for n in 16 32 48 256; do draw "$n"; done
# 16 to 48 px as bitmaps (every Windows reads them), 256 px as PNG.
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" "$out"
echo "wrote $out"
