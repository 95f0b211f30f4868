#!/usr/bin/env bash
# End-to-end tests of Ravolin.exe's real window under Wine and Xvfb.
#
#   tests/e2e/run.sh [build-dir [Ravolin.exe]]   (default build/win64)
#
# The program is build-dir's own Ravolin.exe unless another is named (one
# unpacked from a release zip); the driver always comes from build-dir.
# Starts a private X server and a fresh Wine prefix with one virtual desktop,
# starts Ravolin.exe (Japanese locale, ANSI code page 932) in a temporary
# folder of fixture files and works it with e2e_driver.exe from the same build
# folder: every control by its row, both languages, default size, a run, Exit
# No, the file dialog (cancelled and driven), Abort No and Yes during a long
# run, the close box; then restarts it and checks what came back, and ends it
# with Exit Yes; a third start is closed by its close box during a long run,
# a fourth runs under an English locale, and two more start from saved
# rectangles out of reach.
# Screenshots go to <build-dir>/e2e-artifacts/. Prints one line per check and
# "N passed, M failed"; exits non-zero on any failure.
#
# The 64-bit build takes about a minute (plus a few minutes once, to make the
# cached prefix template); the 32-bit build runs emulated and takes far longer.
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
build=${1:-build/win64}
case $build in /*) ;; *) build=$PWD/$build ;; esac
exe=$build/Ravolin.exe
art=$build/e2e-artifacts
if [ -n "${2:-}" ]; then
  exe=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
  art=$build/e2e-artifacts-unpacked
fi
driver=$build/e2e_driver.exe

pass=0
fail=0
ok() { pass=$((pass + 1)); echo "PASS $*"; }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }
finish() {
  echo "$pass passed, $fail failed"
  [ "$fail" -eq 0 ] && exit 0
  exit 1
}

for f in "$exe" "$driver"; do
  if [ ! -f "$f" ]; then bad "missing $f (build the preset first)"; finish; fi
done
for tool in Xvfb import "$wine64_loader"; do
  command -v "$tool" >/dev/null 2>&1 || { bad "missing tool $tool (scripts/install-deps.sh)"; finish; }
done

# Time limits and the long run's size: where the 32-bit loader is emulated
# it is much slower; where it is not, the long run must be as long as the
# 64-bit one's, or it ends before Abort is answered.
loader=$(wine_loader_for "$exe")
if [ "$loader" = "$wine64_loader" ] || ! wine_32bit_emulated; then
  slow=1; big_files=40; big_mb=8; flush_files=300
else
  slow=12; big_files=20; big_mb=2; flush_files=80
fi
# Seconds for one Wine process to start and finish its part.
proc_limit=$((150 * slow))
# A whole emulated session has been seen to take under two minutes; a Wine
# that hangs under the emulator is cut off after ten.
[ "$proc_limit" -gt 600 ] && proc_limit=600

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  bad "locale ja_JP.UTF-8 is not generated (scripts/install-deps.sh); Wine would use code page 1252"
  finish
fi

# A run that was killed outright (SIGKILL, or a signal that arrived where bash
# could not act on it) leaves its X server, wineserver and folder behind: end
# those of runs whose script is gone.
for old in /tmp/ravolin-e2e.*; do
  [ -f "$old/owner.pid" ] || continue
  kill -0 "$(cat "$old/owner.pid")" 2>/dev/null && continue
  [ -d "$old/prefix" ] && WINEPREFIX=$old/prefix wine_kill
  [ -f "$old/xvfb.pid" ] && kill "$(cat "$old/xvfb.pid")" 2>/dev/null
  rm -rf "$old"
done

tmp=$(mktemp -d /tmp/ravolin-e2e.XXXXXX)
echo $$ >"$tmp/owner.pid"
export WINEPREFIX=$tmp/prefix
xvfb_pid=
watch_pid=
app_pid=
driver_pid=
cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  if [ -d "$WINEPREFIX" ]; then wine_kill; fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'bad "interrupted"; finish' INT TERM

mkdir -p "$art"
rm -f "$art"/*.png "$art"/*.log

# --- X server
for n in $(seq 90 140); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
  xvfb_pid=$!
  echo "$xvfb_pid" >"$tmp/xvfb.pid"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  if [ -e /tmp/.X11-unix/X$n ] && kill -0 "$xvfb_pid" 2>/dev/null; then export DISPLAY=:$n; break; fi
  kill "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
if [ -z "$xvfb_pid" ]; then bad "Xvfb could not start"; finish; fi
echo "     X server $DISPLAY, work folder $tmp"

# --- Wine prefix: a fresh copy of a template that is made once (wineboot
# sets up the 32-bit half too, which is slow here) and kept beside the builds.
template=${RAVOLIN_E2E_PREFIX_TEMPLATE:-$root/build/e2e-prefix-template}
make_template() {
  local t=$1.new
  rm -rf "$t"
  echo "     making the Wine prefix template (once; a few minutes)"
  (
    export WINEPREFIX=$t
    wine_boot "$wine64_loader" &&
      wine_single_desktop "$wine64_loader" 1024x768 &&
      # Proportional Japanese faces for the System font and the dialog fonts,
      # as on Japanese Windows; the window's cell is measured from the System
      # font.
      wine_fonts "$wine64_loader" &&
      wine_settle
  ) >"$tmp/wineboot.log" 2>&1 || return 1
  touch "$t/.ravolin-template-ok" && rm -rf "$1" && mv "$t" "$1"
}
mkdir -p "$(dirname "$template")"
(
  flock -w 1200 9 || exit 1
  # A template from before the font set-up lacks the second marker: remake it.
  [ -f "$template/.ravolin-template-ok" ] && [ -f "$template/$wine_fonts_marker" ] ||
    make_template "$template"
) 9>"$template.lock"
if [ ! -f "$template/.ravolin-template-ok" ] || [ ! -f "$template/$wine_fonts_marker" ]; then
  bad "Wine prefix template could not be made (see wineboot output)"
  cat "$tmp/wineboot.log" 2>/dev/null | tail -5
  finish
fi
cp -a "$template" "$WINEPREFIX" || { bad "cannot copy the prefix template"; finish; }

# --- Fixtures. Lines end in CR LF, as the program writes them back.
work=$tmp/work
long=a-folder-name-long-enough-to-wrap-the-display
mkdir -p "$work/orig" "$work/expect" "$work/en-folder" "$work/$long" "$tmp/ctl"
crlf() { printf '%s\r\n' "$@"; }
crlf '        int a;' '        int a;' '        int a;' >"$work/orig/a.c"
crlf $'\tint a;' $'\tint a;' $'\tint a;' >"$work/expect/a.c"
crlf '    if (x)' '        y;' >"$work/orig/b.c"
crlf '    if (x)' $'\ty;' >"$work/expect/b.c"
crlf 'int c;' >"$work/orig/c.c"
cp "$work/orig/c.c" "$work/expect/c.c"
crlf 'not a C file        at all' >"$work/orig/notes.txt"
crlf '        d1;' '        d2;' '        d3;' >"$work/orig/d.c"
crlf $'\td1;' $'\td2;' $'\td3;' >"$work/expect/d.c"
yes $'        x;\r' | head -c $((big_mb * 1048576 - big_mb * 1048576 % 12)) >"$work/orig/big.c"
yes $'\tx;\r' | head -c $(( (big_mb * 1048576 - big_mb * 1048576 % 12) / 12 * 5 )) >"$work/expect/big.c"
cp "$work/orig/a.c" "$work/orig/b.c" "$work/orig/c.c" "$work/orig/notes.txt" "$work/"
cp "$work/orig/d.c" "$work/en-folder/"
for i in $(seq 0 $((big_files - 1))); do cp "$work/orig/big.c" "$work/$long/big$i.c"; done

winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# --- Drops on the driver's request: CTL/drop.req holds "x y PATH..." (Wine
# paths on drive Z:); a small X client drags them there the way a file
# manager does, and its exit status goes to CTL/drop.rc.
xdnd_drop=$tmp/xdnd-drop
cc -O1 -o "$xdnd_drop" "$here/xdnd_drop.c" -lX11 2>"$tmp/xdnd-build.log" ||
  { bad "cannot build the drop tool (libx11-dev)"; cat "$tmp/xdnd-build.log"; }

# --- Screenshots on the driver's request: CTL/snap.req holds
# "name left top width height" of the main window on the virtual desktop.
(
  while :; do
    if [ -f "$tmp/ctl/drop.req" ]; then
      read -r x y paths <"$tmp/ctl/drop.req"
      paths=${paths%$'\r'}
      args=()
      for p in $paths; do p=${p#Z:}; args+=("${p//\\//}"); done
      timeout 30 "$xdnd_drop" "$x" "$y" "${args[@]}" >>"$tmp/drop.log" 2>&1
      echo $? >"$tmp/ctl/drop.rc"
      rm -f "$tmp/ctl/drop.req"
    fi
    if [ -f "$tmp/ctl/snap.req" ]; then
      read -r name x y w h <"$tmp/ctl/snap.req"
      h=${h%$'\r'}
      [ "$x" -lt 0 ] && { w=$((w + x)); x=0; }
      [ "$y" -lt 0 ] && { h=$((h + y)); y=0; }
      timeout 30 import -window root -crop "${w}x${h}+${x}+${y}" +repage "$art/$name.png" \
        >>"$tmp/import.log" 2>&1
      timeout 30 import -window root "$art/$name-desktop.png" >>"$tmp/import.log" 2>&1
      rm -f "$tmp/ctl/snap.req"
    fi
    sleep 0.2
  done
) &
watch_pid=$!

# Starts Ravolin.exe in the work folder; its exit code lands in $tmp/app.rc.
start_app() {
  rm -f "$tmp/app.rc"
  ( cd "$work" && timeout "$proc_limit" "$loader" "$exe" >"$art/ravolin-$1.log" 2>&1
    echo $? >"$tmp/app.rc" ) &
  app_pid=$!
}

# Runs one driver session and echoes its check lines.
run_driver() {
  local session=$1
  echo "---- session: $session"
  # In the background and waited for, so that an interrupt is acted on at once.
  ( cd "$work" && exec timeout "$proc_limit" "$loader" "$driver" "$session" "$(winpath "$tmp/ctl")" \
      "$(winpath "$work")" "$slow" "$big_files" "$flush_files" ) >"$art/driver-$session.log" 2>&1 &
  driver_pid=$!
  wait "$driver_pid"
  local rc=$?
  driver_pid=
  tr -d '\r' <"$art/driver-$session.log" | grep -E '^(PASS|FAIL|     )' | while IFS= read -r line; do
    echo "$line"
  done
  pass=$((pass + $(tr -d '\r' <"$art/driver-$session.log" | grep -c '^PASS')))
  fail=$((fail + $(tr -d '\r' <"$art/driver-$session.log" | grep -c '^FAIL')))
  if [ "$rc" -ge 100 ]; then bad "driver $session did not finish (exit $rc)"; fi
}

# Waits for Ravolin.exe to end and checks its exit code and the settings file.
check_end() {
  local what=$1
  for _ in $(seq $((60 * slow))); do [ -f "$tmp/app.rc" ] && break; sleep 0.5; done
  if [ ! -f "$tmp/app.rc" ]; then
    bad "$what: Ravolin.exe did not end"
    kill "$app_pid" 2>/dev/null
    wine_kill
    return
  fi
  local rc; rc=$(cat "$tmp/app.rc")
  [ "$rc" = 0 ] && ok "$what: exit code 0" || bad "$what: exit code $rc"
  if [ -f "$work/Ravolin.ini" ]; then
    local lines; lines=$(wc -l <"$work/Ravolin.ini")
    [ "$lines" = 43 ] && ok "$what: Ravolin.ini has 43 lines" || bad "$what: Ravolin.ini has $lines lines"
    cp "$work/Ravolin.ini" "$art/Ravolin-after-$what.ini"
  else
    bad "$what: no Ravolin.ini"
  fi
}

start=$(date +%s)
# RAVOLIN_E2E_ONLY=report runs the report sessions alone (while working on them).
if [ "${RAVOLIN_E2E_ONLY:-}" != report ]; then
echo "---- Ravolin.exe $(basename "$build"), LANG=$LANG"
start_app first
run_driver first
check_end "close box"
[ -f "$work/$long/big0.c.bak" ] && ok "backups made beside the converted files" || bad "no backup beside big0.c"

start_app second
run_driver second
check_end "Exit Yes"
lang=$(sed -n 2p "$work/Ravolin.ini" 2>/dev/null | tr -d '\r')
[ "$lang" = 0 ] && ok "Exit Yes: language Japanese saved" || bad "Exit Yes: saved language '$lang'"

start_app third
run_driver third
check_end "close during a run"

# The same program under an English locale (ANSI code page 1252), in a folder
# of its own.
work=$tmp/work-en
mkdir -p "$work"
cp "$tmp/work/orig/a.c" "$tmp/work/orig/b.c" "$tmp/work/orig/c.c" "$work/"
mkdir -p "$work/dropped" && cp "$tmp/work/orig/d.c" "$work/dropped/"
echo "---- Ravolin.exe $(basename "$build"), LANG=C.UTF-8"
LANG=C.UTF-8 LC_ALL=C.UTF-8 start_app english-locale
LANG=C.UTF-8 LC_ALL=C.UTF-8 run_driver english-locale
check_end "English locale"
lang=$(sed -n 2p "$work/Ravolin.ini" 2>/dev/null | tr -d '\r')
[ "$lang" = 1 ] && ok "English locale: language English saved" || bad "English locale: saved language '$lang'"

# Saved rectangles that no monitor shows (a monitor that is gone, negative
# coordinates): the window must come up on the screen. The folder also holds
# a file of the user's named Ravolin.ini.tmp, which the saves must leave alone.
work=$tmp/work-place
mkdir -p "$work"
printf 'my own notes\r\n' >"$work/Ravolin.ini.tmp"
cp "$work/Ravolin.ini.tmp" "$tmp/user-tmp"
for rect in '5000 5000 5600 5400' '-50 -60 -10 -20'; do
  # A settings file cut short after the rectangle: the rest keeps its defaults.
  crlf 20 0 $rect >"$work/Ravolin.ini"
  echo "---- Ravolin.exe $(basename "$build"), saved rectangle $rect"
  start_app placement
  run_driver placement
  check_end "saved rectangle $rect"
done
cmp -s "$work/Ravolin.ini.tmp" "$tmp/user-tmp" && ok "a file named Ravolin.ini.tmp is left as it was" ||
  bad "Ravolin.ini.tmp was changed"
left=$(cd "$work" && ls | grep -v -x -e Ravolin.ini -e Ravolin.ini.tmp | tr '\n' ' ')
[ -z "$left" ] && ok "the saves leave no file of their own behind" || bad "left behind: $left"
fi

# What the window says about a run: 600 files, Abort after the end, Abort
# while groups wait for the disk, a name too long for the file dialog,
# closing and Exit during a run. Japanese user interface, fresh folder.
work=$tmp/work-report
mkdir -p "$work/orig" "$work/expect" "$work/many" "$work/ended" "$work/flushing"
lines40=$(for _ in $(seq 40); do printf '        x;\r\n'; done)
for i in $(seq -f '%04g' 0 599); do printf '%s' "$lines40" >"$work/many/f$i.c"; done
yes $'        x;\r' | head -n 25600 >"$work/orig/flush.c"
yes $'\t\tx;\r' | head -n 25600 >"$work/expect/flush.c"  # tab size 4
for i in $(seq 0 59); do cp "$work/orig/flush.c" "$work/ended/f$i.c"; done
for i in $(seq 0 $((flush_files - 1))); do cp "$work/orig/flush.c" "$work/flushing/f$i.c"; done
echo "---- Ravolin.exe $(basename "$build"), LANG=$LANG, report"
start_app report
run_driver report
check_end "report close during a run"
start_app report-restart
run_driver report-restart
check_end "report Exit during a run"
# Slot 0 (line 23) is the last report: the run's report so far, never the
# progress line; LF is stored as 0x07, CR as 0x0B.
saved=$(sed -n 23p "$work/Ravolin.ini" 2>/dev/null | tr -d '\r')
case $saved in
  *" files: "*) bad "Exit during a run: the progress line was saved: ${saved:0:120}" ;;
  *"Aborted   : "*$'aborted.\x0b\x07') ok "Exit during a run: the report so far is saved, with its Aborted line and aborted." ;;
  *) bad "Exit during a run: saved report '${saved: -160}'" ;;
esac

# Names outside the ANSI code page, in each code page: the folder starts
# with the Ravolin.ini an earlier version saved there (its texts in that
# code page), holds names the code page lacks, a path past MAX_PATH and a
# neighbour that a '?' in place of an emoji would match.
names_sessions() {
  local lang=$1 kept=$2
  work=$tmp/work-names-$lang
  mkdir -p "$work/names/日本語/$(printf 'd%.0s' $(seq 200))" "$work/data😀"
  for f in plain.c 日本語.c 한국.c "日本語/$(printf 'd%.0s' $(seq 200))/$(printf 'n%.0s' $(seq 90)).c"; do
    crlf '        int a;' >"$work/names/$f"
  done
  crlf '        int a;' >"$work/data😀/a.c"
  crlf 'KEEP    THIS        DATA' >"$work/data12"
  { crlf 20 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 21
    printf 'Converted files = 1 (Total 2 tabs, 0 dots), Non conv. = 0, Refused = 0\x0b\x07Converted: %s.c(2 tabs, 0 dots)\x0b\x07\r\n' "$kept"
    crlf '' '.\*.c' '.\*.c' '' '' '' '' '' '' 8 '' '' '' '' '' '' '' '' '' 9
  } >"$work/Ravolin.ini"
  cp "$work/Ravolin.ini" "$art/Ravolin-earlier-$lang.ini"
  echo "---- Ravolin.exe $(basename "$build"), names outside the code page, LANG=$lang"
  LANG=$lang LC_ALL=$lang start_app "names-$lang"
  LANG=$lang LC_ALL=$lang run_driver names
  check_end "names ($lang)"
  local want; want=$(printf '\xef\xbb\xbf%s\\data😀\\*.c' "$(winpath "$work")")
  [ "$(ini_line 26)" = "$want" ] && ok "names ($lang): a pattern outside the code page is kept as marked UTF-8" ||
    bad "names ($lang): pattern line '$(ini_line 26)'"
  LANG=$lang LC_ALL=$lang start_app "names-again-$lang"
  LANG=$lang LC_ALL=$lang run_driver names-again
  check_end "names again ($lang)"
}
ini_line() { sed -n "$1p" "$work/Ravolin.ini" | tr -d '\r'; }
names_sessions ja_JP.UTF-8 "$(printf '\x95\x5c')"
names_sessions C.UTF-8 "$(printf 'caf\xe9')"

echo "     screenshots: $(cd "$art" && ls ./*.png 2>/dev/null | grep -v desktop | tr '\n' ' ')"
echo "     took $(( $(date +%s) - start )) s"
finish
