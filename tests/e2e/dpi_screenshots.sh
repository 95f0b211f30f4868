#!/usr/bin/env bash
# Screenshots of Ravolin.exe's first start at 96 and 144 DPI (Wine's
# LogPixels) in Japanese and English, for the README:
#
#   tests/e2e/dpi_screenshots.sh [build-dir [out-dir]]   (build/win64, docs)
#
# Each start gets a fresh copy of the window suite's prefix template (run
# tests/e2e/run.sh once first), its own X server and an empty folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
build=$(cd "${1:-$root/build/win64}" && pwd)
out=$(cd "${2:-$root/docs}" && pwd)
template=${RAVOLIN_E2E_PREFIX_TEMPLATE:-$root/build/e2e-prefix-template}
[ -f "$template/.ravolin-template-ok" ] || { echo "no prefix template: run tests/e2e/run.sh first" >&2; exit 1; }
tmp=$(mktemp -d /tmp/ravolin-dpi.XXXXXX)
xvfb_pid=
cleanup() {
  [ -d "$tmp/prefix" ] && WINEPREFIX=$tmp/prefix wine_kill
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

for n in $(seq 150 190); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; break; }
  kill "$xvfb_pid"; xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "Xvfb could not start" >&2; exit 1; }

# dpi   language  locale
shots=(
  96    ja        ja_JP.UTF-8
  144   ja        ja_JP.UTF-8
  96    en        C.UTF-8
  144   en        C.UTF-8
)
for ((i = 0; i < ${#shots[@]}; i += 3)); do
  dpi=${shots[i]} lang=${shots[i + 1]} loc=${shots[i + 2]}
  export WINEPREFIX=$tmp/prefix
  rm -rf "$WINEPREFIX" "$tmp/work"
  cp -a "$template" "$WINEPREFIX"
  mkdir -p "$tmp/work"
  # The desktop big enough for the window at 144 DPI.
  wine_reg_add "$wine64_loader" 'HKCU\Software\Wine\Explorer\Desktops' Default 1200x900
  wine_reg_add "$wine64_loader" 'HKCU\Control Panel\Desktop' LogPixels "$dpi" REG_DWORD
  wine_reg_add "$wine64_loader" 'HKCC\Software\Fonts' LogPixels "$dpi" REG_DWORD
  wine_settle
  (cd "$tmp/work" && LANG=$loc LC_ALL=$loc timeout 120 "$wine64_loader" "$build/Ravolin.exe" >/dev/null 2>&1) &
  app=$!
  sleep 8
  # The window on the desktop's plain background: cut to its bounding box.
  import -window root "$tmp/full.png"
  convert "$tmp/full.png" -crop 1200x900+0+0 +repage -fuzz 2% -trim +repage \
    "$out/screenshot-${dpi}dpi-$lang.png"
  echo "$out/screenshot-${dpi}dpi-$lang.png: $(identify -format '%wx%h' "$out/screenshot-${dpi}dpi-$lang.png")"
  wine_kill
  wait "$app" 2>/dev/null || true
done
