#!/bin/sh
# ravolin-cli.exe under Wine with ANSI code page 1252 and 932: names outside
# the code page (Japanese on 1252, Korean, emoji and accents on 932) are
# reached, never turned into '?' wildcards that match other files; paths
# past MAX_PATH work; patterns whose names hold 表, ソ or 能, whose second
# byte in code page 932 is 0x5C, search the right folder.
#   cli_code_page_test.sh PATH/TO/ravolin-cli.exe scripts/wine-run.sh
# Exits 77 (skipped) where the Japanese locale is not generated.
set -u -f  # no globbing: the table's patterns go to the program as they are
cli_exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
emu=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' || { echo "no ja_JP.UTF-8 locale: skipped"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
# A folder name and a file name that make a path of over 300 characters.
long_dir=$(printf 'd%.0s' $(seq 1 200))
long_file=$(printf 'n%.0s' $(seq 1 90)).c

fresh() {
  rm -rf "$tmp/w" && mkdir -p "$tmp/w/表" "$tmp/w/sub" "$tmp/w/能" "$tmp/w/data😀" "$tmp/w/日本語/$long_dir" &&
    cd "$tmp/w" || exit 1
  for f in 表a.c 表b.c 表/inner.c sub/ソx.c 能/z.c plain.c 日本語.c 한국.c ünï.c e😀.c ex1.c \
           data😀/a.c "日本語/$long_dir/$long_file"; do
    printf '        a;\n' >"$f"
  done
  printf 'KEEP    THIS        DATA\n' >data12
}

fail() {
  printf 'FAIL (%s) %s\n' "$lang" "$*"
  cat "$tmp/out"
  fails=$((fails + 1))
}

# Wine reads Unix names in the locale's character set, so both locales are
# UTF-8: C.UTF-8 gives code page 1252, ja_JP.UTF-8 code page 932.
for lang in C.UTF-8 ja_JP.UTF-8; do
  export LANG=$lang LC_ALL=$lang
  # pattern (as typed) | backups that must appear, space-separated, in byte order
  while IFS='|' read -r pattern want; do
    fresh
    case $pattern in Z:*) pattern="Z:$(pwd | tr / '\\')${pattern#Z:}" ;; esac
    "$emu" "$cli_exe" $pattern >"$tmp/out" 2>&1
    got=$(find . -name '*.bak' | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
    [ "$got" = "${want:+$want }" ] || fail "$pattern: backups '$got', want '$want '"
    [ "$(cat data12)" = 'KEEP    THIS        DATA' ] || fail "$pattern: data12 rewritten"
  done <<CASES
表*.c|表a.c.bak 表b.c.bak
sub\ソ*.c|sub/ソx.c.bak
Z:\能\*.c|能/z.c.bak
表\*.c|表/inner.c.bak
Z:\*.c|ex1.c.bak e😀.c.bak plain.c.bak ünï.c.bak 日本語.c.bak 表a.c.bak 表b.c.bak 한국.c.bak
e😀.c|e😀.c.bak
data😀|data😀/a.c.bak
-r 日本語|日本語/$long_dir/$long_file.bak
CASES

  # The other modes over the same names; the report, a file here, is UTF-8.
  fresh
  # arguments | exit status | a line the output must hold
  while IFS='|' read -r args status line; do
    "$emu" "$cli_exe" $args >"$tmp/out" 2>&1
    rc=$?
    [ "$rc" = "$status" ] || fail "$args: exit $rc, want $status"
    [ -z "$line" ] || grep -qF -- "$line" "$tmp/out" || fail "$args: no line '$line'"
  done <<CASES
--check 한국.c|1|한국.c
--diff 日本語.c|1|+++ 日本語.c
-r .|0|Converted: 日本語.c(2 tabs, 0 dots)
-r .|1|Refused   : ünï.c
--check -r .|0|
--restore -r .|0|Restored  : 日本語\\$long_dir\\$long_file
CASES
  [ -z "$(find . -name '*.bak')" ] || fail "backups left after --restore"
  [ "$(cat 한국.c)" = '        a;' ] || fail "한국.c not restored"
done
[ "$fails" -eq 0 ] && echo "all code page 1252 and 932 names passed"
exit "$fails"
