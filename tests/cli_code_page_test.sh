#!/bin/sh
# ravolin-cli.exe under Wine with ANSI code page 932: patterns whose names
# hold 表, ソ or 能, whose second byte is 0x5C, search the right folder.
#   cli_code_page_test.sh PATH/TO/ravolin-cli.exe scripts/wine-run.sh
# Exits 77 (skipped) where the Japanese locale is not generated.
set -u
cli_exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
emu=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' || { echo "no ja_JP.UTF-8 locale: skipped"; exit 77; }
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0

# pattern (as typed) | backups that must appear, space-separated, sorted
while IFS='|' read -r pattern want; do
  rm -rf "$tmp/w" && mkdir -p "$tmp/w/表" "$tmp/w/sub" "$tmp/w/能" && cd "$tmp/w" || exit 1
  for f in 表a.c 表b.c 表/inner.c sub/ソx.c 能/z.c; do printf '        a;\n' >"$f"; done
  case $pattern in Z:*) pattern="Z:$(pwd | tr / '\\')${pattern#Z:}" ;; esac
  "$emu" "$cli_exe" "$pattern" >"$tmp/out" 2>&1
  got=$(find . -name '*.bak' | sed 's|^\./||' | sort | tr '\n' ' ')
  if [ "$got" != "$want " ]; then
    echo "FAIL $pattern: backups '$got', want '$want '"
    iconv -f CP932 -t UTF-8 <"$tmp/out" 2>/dev/null || cat "$tmp/out"
    fails=$((fails + 1))
  fi
done <<'CASES'
表*.c|表a.c.bak 表b.c.bak
sub\ソ*.c|sub/ソx.c.bak
Z:\能\*.c|能/z.c.bak
表\*.c|表/inner.c.bak
CASES
[ "$fails" -eq 0 ] && echo "all code page 932 patterns passed"
exit "$fails"
