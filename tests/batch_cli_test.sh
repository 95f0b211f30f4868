#!/bin/sh
# ravolin-cli's batch mode end to end: report on stdout with LF line ends,
# exit 0 / 1 / 2.
#   batch_cli_test.sh PATH/TO/ravolin-cli
set -u
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fails=0
check() {  # name, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
    fails=$((fails + 1))
  fi
}

cd "$dir" || exit 1
printf '            a;\n' > b.c
printf 'x;\n' > a.c
printf '        y;\n' > skip.h

out=$("$cli"); rc=$?
check "first run report" "Converted files = 1 (Total 3 tabs, 0 dots), Non conv. = 1, Refused = 0
Non conv.: a.c
Converted: b.c(3 tabs, 0 dots)" "$out"
check "first run exit" 0 $rc
check "no CR on stdout" 0 "$("$cli" -t 8 'nothing*.c' | tr -cd '\r' | wc -c)"
check "converted file" "$(printf '\t\t\ta;\r\n')" "$(cat b.c)"
check "backup" "$(printf '            a;\n')" "$(cat b.c.bak)"

out=$("$cli" -t 4 './*.c'); rc=$?
check "second run exit" 1 $rc
check "second run report" "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 2
Refused   : a.c
Refused   : b.c" "$out"

mkdir sub && printf '        z;\n' > sub/c.c
out=$("$cli" -t8 'sub\*.c'); rc=$?
check "backslash folder, tab size 8" "Converted files = 1 (Total 1 tabs, 0 dots), Non conv. = 0, Refused = 0
Converted: c.c(1 tabs, 0 dots)" "$out"
check "backslash folder exit" 0 $rc

out=$("$cli" 'gone/*.c'); rc=$?
check "missing folder" "Converted files = 0 (Total 0 tabs, 0 dots), Non conv. = 0, Refused = 0
Error: gone/*.c" "$out"
check "missing folder exit" 1 $rc

"$cli" -t >/dev/null 2>&1; check "-t without a value" 2 $?
"$cli" a.c b.c >/dev/null 2>&1; check "two wildcard paths" 2 $?
"$cli" --bogus >/dev/null 2>&1; check "unknown option" 2 $?

[ $fails -eq 0 ] && echo "all passed"
exit $fails
