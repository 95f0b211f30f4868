#!/bin/sh
# ravolin-cli end to end, over real temporary folders: options and their
# traps, many inputs, recursion, the streamed report, exit statuses.
#   cli_test.sh PATH/TO/ravolin-cli [EMULATOR]
# With an emulator (scripts/wine-run.sh) the Windows build is tested: report
# lines then end in CR LF, folders found by -r are shown with '\', and drive
# letters and '\' in patterns are tried; signals and terminals are native only.
set -u
cli_exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
emu=${2:-}
[ -z "$emu" ] || emu=$(cd "$(dirname "$emu")" && pwd)/$(basename "$emu")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
S=/
[ -n "$emu" ] && S='\'

cli() {
  if [ -n "$emu" ]; then "$emu" "$cli_exe" "$@"; else "$cli_exe" "$@"; fi
}
# Runs the CLI with no input; sets rc, out and err (CRs dropped; the raw
# standard output stays in $tmp/out).
run() {
  cli "$@" <"$tmp/empty" >"$tmp/out" 2>"$tmp/err"
  rc=$?
  out=$(tr -d '\r' <"$tmp/out")
  err=$(tr -d '\r' <"$tmp/err")
}
fail() {
  printf 'FAIL %s\n' "$1"
  fails=$((fails + 1))
}
check() {  # name, expected, actual
  [ "$2" = "$3" ] || { fail "$1"; printf -- '--- expected\n%s\n--- got\n%s\n' "$2" "$3"; }
}
contains() {  # name, needle, haystack
  case $3 in *"$2"*) ;; *) fail "$1"; printf -- '--- wanted somewhere\n%s\n--- in\n%s\n' "$2" "$3" ;; esac
}
same_file() {  # name, expected file, actual file
  cmp -s "$2" "$3" || fail "$1: $3 differs from $2"
}

# The work folder, fresh for each case: a.c has nothing to convert, b.c three
# tabs; the converted forms are in $tmp/want.
: >"$tmp/empty"
mkdir "$tmp/want"
printf 'x;\r\n' >"$tmp/want/a.c"
printf '\t\t\ta;\r\n' >"$tmp/want/b.c"
fresh() {
  cd "$tmp" && rm -rf w && mkdir w && cd w || exit 1
  printf 'x;\n' >a.c
  printf '            a;\n' >b.c
}
untouched() {  # name: the work folder is as fresh() left it
  check "$1: nothing written" "a.c
b.c" "$(ls)"
  check "$1: b.c as it was" "            a;" "$(cat b.c)"
}

# --- usage errors: exit 2, the fault named, nothing touched ----------------
while IFS='|' read -r args message; do
  fresh
  eval "run $args"
  check "usage [$args]: exit status" 2 "$rc"
  contains "usage [$args]: message" "$message" "$err"
  untouched "usage [$args]"
done <<'EOF'
-t -|invalid tab size '-'
-t abc|invalid tab size 'abc'
-t 0|invalid tab size '0'
-t 41|invalid tab size '41'
-t 4x|invalid tab size '4x'
--tab-size=|invalid tab size ''
-t|option '-t' needs a value
--tab-size|option '--tab-size' needs a value
--bogus|unknown option '--bogus'
-x b.c|unknown option '-x'
--recursive=yes|option '--recursive' takes no value
--encoding=latin1|invalid encoding 'latin1'
--encoding|option '--encoding' needs a value
- a.c|'-' (standard input) takes no other files
-r -|'-' (standard input) goes with
--check --diff|choose one of --check, --diff, --restore and --hazards
--restore --check|choose one of --check, --diff, --restore and --hazards
--diff -|'-' (standard input) goes with
--smart --expand b.c|--smart and --expand exclude each other
--leading --smart b.c|--smart and --leading exclude each other
''|an empty file name
--lines=3-1 b.c|invalid line range '3-1'
--lines=1-2 a.c b.c|--lines takes exactly one file
--lines=1 --git b.c|--lines and --git exclude each other
--lines=1 --restore b.c|--lines goes with a run, --check and --diff only
--git -|--git takes files, not '-'
EOF

# --- runs: the command line reaches the run ----------------------------------
# Which files a run takes, its report and exit status are unit tests
# (cli_walk_test); here what only the real command line shows.
# name | arguments | report | exit status
while IFS='|' read -r name args report status; do
  fresh
  printf '    n;\n' >-n.h
  eval "run $args"
  check "$name: report" "$(printf "$report")" "$out"
  check "$name: exit status" "$status" "$rc"
done <<'EOF'
-- ends the options|-t8 -- -n.h|Non conv.: -n.h\nConverted files = 0 (Total 0 tabs, 0 dots), Non conv. = 1, Refused = 0|0
options after files|b.c -t 2|Converted: b.c(6 tabs, 0 dots)\nConverted files = 1 (Total 6 tabs, 0 dots), Non conv. = 0, Refused = 0|0
EOF

# Report lines end in LF natively, CR LF on Windows.
fresh
run
if [ -n "$emu" ]; then
  check "CR LF report on Windows" 3 "$(tr -cd '\r' <"$tmp/out" | wc -c)"
else
  check "LF report" 0 "$(tr -cd '\r' <"$tmp/out" | wc -c)"
fi

# A shell-expanded *.c is just many files.
fresh
run -t 4 *.c
check "unquoted *.c: exit status" 0 "$rc"
same_file "unquoted *.c: b.c" "$tmp/want/b.c" b.c

# --- recursion on the real file system: no links to folders, no VCS folders -
fresh
mkdir -p src/lib/deep src/.git src/CVS other
printf '    m;\n' >src/m.c
printf '    l;\n' >src/lib/l.c
printf '    d;\n' >src/lib/deep/d.c
printf '    g;\n' >src/.git/g.c
printf '    v;\n' >src/CVS/v.c
printf '    o;\n' >other/o.c
if [ -z "$emu" ]; then ln -s ../other src/link; fi
run -r src
check "-r: report" "Converted: src${S}m.c(1 tabs, 0 dots)
Converted: src${S}lib${S}l.c(1 tabs, 0 dots)
Converted: src${S}lib${S}deep${S}d.c(1 tabs, 0 dots)
Converted files = 3 (Total 3 tabs, 0 dots), Non conv. = 0, Refused = 0" "$out"
check "-r: VCS folders and links untouched" "    g;|    v;|    o;" "$(cat src/.git/g.c)|$(cat src/CVS/v.c)|$(cat other/o.c)"

# --- --check and --diff: nothing written; the diff makes the run's change ----
# One file per way a conversion changes bytes, one that is already converted.
mkdir "$tmp/corpus" "$tmp/corpus/sub"
(
  cd "$tmp/corpus" || exit 1
  i=1
  while [ $i -le 30 ]; do
    if [ $i = 2 ] || [ $i = 25 ]; then printf '        s%d;\r\n' $i; else printf 'line %d;\r\n' $i; fi
    i=$((i + 1))
  done >crlf.c
  printf 'int     x;\n    y;\n' >lf.c
  printf 'a;\n        last' >no-final-lf.c
  printf 'a\rb    c;\n' >lone-cr.c
  printf 'p("a    b");    x;\n' >string.c
  printf '// \225\134\n    z;\n' >sjis.c
  printf '\tdone;\r\n' >clean.c
  printf '    space;\n' >'sp ace.c'
  printf '%02500d    tail;\n' 0 >long-line.c
  printf '    deep;\n' >sub/deep.c
)
fresh_corpus() { cd "$tmp" && rm -rf w && cp -R corpus w && cd w || exit 1; }

fresh_corpus
run --check -r
check "--check, dirty tree: list" "crlf.c
lf.c
lone-cr.c
long-line.c
no-final-lf.c
sjis.c
sp ace.c
string.c
sub${S}deep.c" "$out"
check "--check, dirty tree: exit status" 1 "$rc"
check "--check writes nothing" "" "$(cd "$tmp" && diff -r corpus w)"
run --check -r -q
check "--check -q: nothing printed" "1|" "$rc|$out"

run --diff -r
check "--diff: exit status" 1 "$rc"
cp "$tmp/out" "$tmp/patch"
check "--diff writes nothing" "" "$(cd "$tmp" && diff -r corpus w)"
run -r -q
check "the run itself: exit status" 0 "$rc"
find . -name '*.bak' -exec rm {} +
cd "$tmp" && rm -rf patched && cp -R corpus patched && cd patched || exit 1
patch -s -p0 <"$tmp/patch" >/dev/null 2>&1 || fail "--diff: patch -p0 refused it"
check "--diff + patch -p0 = the run, byte for byte" "" "$(cd "$tmp" && diff -r w patched)"
if command -v git >/dev/null; then
  cd "$tmp" && rm -rf patched && cp -R corpus patched && cd patched || exit 1
  git apply -p0 --whitespace=nowarn "$tmp/patch" || fail "--diff: git apply -p0 refused it"
  check "--diff + git apply -p0 = the run, byte for byte" "" "$(cd "$tmp" && diff -r w patched)"
fi

cd "$tmp/w" || exit 1
run --check -r
check "--check, converted tree" "0|" "$rc|$out"
run --diff -r
check "--diff, converted tree" "0|" "$rc|$out"
printf 'ab      c;\r\n' >tabs.c
run --check -t 40 tabs.c
check "--check takes the tab size (40)" "0|" "$rc|$out"
run --check -t 8 tabs.c
check "--check takes the tab size (8)" "1|tabs.c" "$rc|$out"
run --check missing.c
check "--check, missing file" "1||Error: missing.c (no matching file)" "$rc|$out|$err"
printf '\350\252\236  u;\r\n' >u.c
run --check u.c
check "--check tells a file's encoding by default" "1|u.c" "$rc|$out"
run --check --encoding=cp932 u.c
check "--check --encoding=cp932" "0|" "$rc|$out"
run --check --encoding=utf-8 u.c
check "--check --encoding=utf-8" "1|u.c" "$rc|$out"
run --diff --encoding=utf-8 u.c
check "--diff --encoding=utf-8" "$(printf '+\350\252\236\tu;\r')" "$(grep -a '^+[^+]' "$tmp/out")"


# --check and --diff skip what a run skips, with the same lines: a binary
# file, a conversion the check rejects ('"' hides the string from the
# converter) and, natively, a second name of a file.
fresh
printf 'x;\0    y;\n' >bin.c
printf "c = '\"'; s = \"a    b\"; d = '\"';\n" >quote.c
[ -n "$emu" ] || ln -s b.c l.c
skips="Skipped   : bin.c (binary)
Skipped   : quote.c (string literal would change)"
run --check
check "--check skips as a run does" "1|a.c b.c|$skips" "$rc|$(echo $out)|$err"
run --diff
check "--diff skips as a run does" "1|$skips" "$rc|$err"
# A run converts a file reached twice once and says so; a check, which
# writes nothing, just looks at it once.
run
runskips="Skipped   : bin.c (binary)
$([ -n "$emu" ] || echo 'Skipped   : l.c (same file as b.c)')
Skipped   : quote.c (string literal would change)"
check "the run's own skips" "1|$(printf '%s\n' "$runskips" | grep .)" "$rc|$(printf '%s\n' "$out" | grep '^Skipped')"
fresh
printf '\tdone;\r\n' >clean.c
run --check clean.c ./clean.c
check "--check of a clean file named twice" "0||" "$rc|$out|$err"
run --check b.c ./b.c
check "--check lists a file named twice once" "1|b.c|" "$rc|$out|$err"

# --check stops reading at the first sign of binary: a huge file costs
# neither its time nor its memory.
printf 'int x;\n   \0' >big.c
truncate -s 3G big.c
if [ -z "$emu" ]; then
  (ulimit -v 400000; "$cli_exe" --check big.c <"$tmp/empty" >"$tmp/out" 2>"$tmp/err"; echo $? >"$tmp/rc")
  rc=$(cat "$tmp/rc")
  err=$(tr -d '\r' <"$tmp/err")
else
  run --check big.c
fi
check "--check of a 3 GiB binary file, in little memory" "1|Skipped   : big.c (binary)" "$rc|$err"
rm -f big.c

# --- --restore: a run undone, byte for byte, no backup left -----------------
fresh_corpus
run -r -q
run --restore -r
check "--restore: exit status" 0 "$rc"
check "--restore: summary" "Restored files = 10" "$(printf '%s\n' "$out" | tail -n 1)"
check "--restore: a line per file" 10 "$(printf '%s\n' "$out" | grep -c '^Restored  : ')"
check "--restore: every file as it was, no backup behind" "" "$(cd "$tmp" && diff -r corpus w)"
run --restore lf.c 'sub/*.c'
check "--restore without backups" "1|Skipped   : lf.c (no backup)
Skipped   : sub/deep.c (no backup)
Restored files = 0, Skipped = 2" "$rc|$out"
run -r -q
check "a run after --restore converts again" 0 "$rc"
run --restore -r -q
check "--restore -q" "0|" "$rc|$out"
if [ -z "$emu" ]; then
  # Through a symbolic link into its target, into the file hard links share.
  fresh
  mkdir other
  printf '        t;\n' >other/t1.txt
  printf '        u;\n' >other/t2.txt
  ln -s other/t1.txt sym.c
  ln other/t2.txt hard.c
  chmod 640 b.c
  run -q sym.c hard.c b.c
  run -q --restore sym.c hard.c b.c
  check "--restore through links, keeping the mode" "0|yes|        t;|        u;|yes|640" \
    "$rc|$([ -L sym.c ] && echo yes)|$(cat other/t1.txt)|$(cat other/t2.txt)|$([ "$(stat -c %i hard.c)" = "$(stat -c %i other/t2.txt)" ] && echo yes)|$(stat -c %a b.c)"
  check "--restore leaves no temporary file" "" "$(ls -A . other | grep '\.tmp$')"
fi

# --- --restore is as safe as a run --------------------------------------------
# name | set-up after a run of b.c | options | report | b.c afterwards
# (c: converted, o: original, e: edited) | b.c.bak left | native only
while IFS='|' read -r name setup args report after bak native; do
  [ -z "$native" ] || [ -z "$emu" ] || continue
  fresh
  run -q b.c
  eval "$setup"
  run --restore $args b.c
  check "--restore, $name: report" "$(printf "$report")" "$out"
  case $after in
    c) want="$(printf '\t\t\ta;\r\n')" ;;
    o) want='            a;' ;;
    e) want="$(printf '\t\t\ta;\r\nmore;')" ;;
  esac
  check "--restore, $name: b.c" "$want" "$(cat b.c)"
  check "--restore, $name: backup" "$bak" "$({ [ -e b.c.bak ] || [ -L b.c.bak ]; } && echo kept)"
  check "--restore, $name: no temporary file" "" "$(ls -A | grep '\.tmp$')"
done <<'EOF'
edited since converted|printf 'more;' >>b.c||Skipped   : b.c (edited since it was converted)\nRestored files = 0, Skipped = 1|e|kept|
edited, --force|printf 'more;' >>b.c|--force|Restored  : b.c\nRestored files = 1|o||
layout changed only|printf '            a;\n' >b.c||Restored  : b.c\nRestored files = 1|o||
backup a folder|rm b.c.bak; mkdir b.c.bak||Skipped   : b.c (backup is not a regular file)\nRestored files = 0, Skipped = 1|c|kept|
backup a pipe|rm b.c.bak; mkfifo b.c.bak||Skipped   : b.c (backup is not a regular file)\nRestored files = 0, Skipped = 1|c|kept|native
backup a link to /dev/zero|rm b.c.bak; ln -s /dev/zero b.c.bak||Skipped   : b.c (backup is not a regular file)\nRestored files = 0, Skipped = 1|c|kept|native
backup a hard link of the file|rm b.c.bak; ln b.c b.c.bak||Skipped   : b.c (backup is the same file)\nRestored files = 0, Skipped = 1|c|kept|native
file a link to its backup|rm b.c; ln -s b.c.bak b.c||Skipped   : b.c (backup is the same file)\nRestored files = 0, Skipped = 1|o|kept|native
a killed restore's temporary file|printf x >.ravolin-999999-3.tmp||Restored  : b.c\nRestored files = 1|o||
EOF

# A run killed between naming NAME.bak and putting the conversion in place
# leaves the original under both names and its mark; the next run, or
# --restore, finishes that work instead of refusing the file or emptying it.
for mode in run restore; do
  fresh
  cp b.c b.c.bak
  [ -n "$emu" ] || { rm b.c.bak; ln b.c b.c.bak; }
  printf 'b.c' >.ravolin-999999-2.todo.tmp
  if [ $mode = run ]; then
    run b.c
    check "interrupted run, next run" "0|Converted: b.c(3 tabs, 0 dots)|$(printf '\t\t\ta;\r\n')|            a;" \
      "$rc|$(printf '%s\n' "$out" | head -n 1)|$(cat b.c)|$(cat b.c.bak)"
  else
    run --restore b.c
    check "interrupted run, --restore" "1|Skipped   : b.c (no backup)|            a;|" \
      "$rc|$(printf '%s\n' "$out" | head -n 1)|$(cat b.c)|$(ls b.c.bak 2>/dev/null)"
  fi
  check "interrupted run, $mode: no temporary file" "" "$(ls -A | grep '\.tmp$')"
done
# --check writes nothing, not even to clean up.
fresh
printf x >.ravolin-999999-4.tmp
run --check b.c
check "--check leaves other processes' files alone" ".ravolin-999999-4.tmp" "$(ls -A | grep '\.tmp$')"

# --- owners and modes: another user's file, a shared folder --------------------
if [ -z "$emu" ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  as_nobody() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli_exe" "$@" <"$tmp/empty" >"$tmp/out" 2>&1
    rc=$?
  }
  chmod 755 "$tmp"
  mkdir -m 1777 "$tmp/shared" && cd "$tmp/shared" || exit 1
  printf '        s;\n' >s.c && chmod 666 s.c
  printf '        g;\n' >g.c && chown nobody:root g.c && chmod 666 g.c
  printf '        m;\n' >m.c && chown nobody:nogroup m.c && chmod 6644 m.c
  as_nobody -q s.c g.c m.c
  check "owner and group kept where a new file could not have them; set-ID bits kept" \
    "0|root:root 666|nobody:root 666|nobody:nogroup 6644" \
    "$rc|$(stat -c '%U:%G %a' s.c)|$(stat -c '%U:%G %a' g.c)|$(stat -c '%U:%G %a' m.c)"
  check "a shared folder: converted" "$(printf '\t\ts;\r\n\t\tg;\r\n\t\tm;\r\n')" "$(cat s.c g.c m.c)"
  check "a shared folder: no name left that cannot be removed" "" "$(ls -A | grep '\.tmp$')"
  as_nobody -q --restore s.c g.c m.c
  check "--restore by another user" "0|root:root 666|        s;" "$rc|$(stat -c '%U:%G %a' s.c)|$(cat s.c)"
  cd "$tmp" || exit 1
fi
# --- styles: the run, --check, --diff and --restore in each ------------------
# style | the converted file (printf) | its report line
while IFS='|' read -r style want line; do
  fresh
  printf '        f(a,\n\t\t  b);\tx\n' >s.c
  cp s.c "$tmp/s.orig"
  printf "$want" >"$tmp/s.want"
  eval "run --check $style s.c"
  check "$style --check" "1|s.c" "$rc|$out"
  eval "run --diff $style s.c"
  cp "$tmp/out" "$tmp/patch"
  mkdir "$tmp/p" && cp s.c "$tmp/p/" && (cd "$tmp/p" && patch -s -p0 <"$tmp/patch" >/dev/null 2>&1) ||
    fail "$style --diff: patch -p0 refused it"
  same_file "$style --diff + patch -p0" "$tmp/s.want" "$tmp/p/s.c"
  rm -rf "$tmp/p"
  eval "run $style s.c"
  check "$style: report" "$line" "$(printf '%s\n' "$out" | head -n 1)"
  same_file "$style: the file" "$tmp/s.want" s.c
  eval "run --check $style s.c"
  check "$style --check after the run" "0|" "$rc|$out"
  eval "run --restore $style s.c"
  same_file "$style --restore" "$tmp/s.orig" s.c
done <<'EOF'
--leading|\t\tf(a,\r\n\t\t  b);\tx\r\n|Converted: s.c(2 tabs, 0 dots)
--smart|\t\tf(a,\r\n\t\t  b);   x\r\n|Converted: s.c(2 tabs, 1 tabs to spaces, 0 dots)
--expand|        f(a,\r\n          b);   x\r\n|Converted: s.c(3 tabs to spaces, 0 dots)
--expand --leading|        f(a,\r\n          b);\tx\r\n|Converted: s.c(2 tabs to spaces, 0 dots)
EOF
got=$(printf '\tx;\n' | cli --expand - 2>&1 >/dev/null | tr -d '\r')
check "filter --expand counts" "1 tabs to spaces, 0 dots" "$got"

# --- Windows: drive letters and '\' -----------------------------------------
if [ -n "$emu" ]; then
  fresh
  mkdir sub && printf '        z;\n' >sub/c.c
  drive="Z:$(pwd | tr / '\\')"
  run "$drive\\sub\\*.c" "$drive\\b.c"
  check "drive letters: report" "Converted: $drive\\sub\\c.c(2 tabs, 0 dots)
Converted: $drive\\b.c(3 tabs, 0 dots)
Converted files = 2 (Total 5 tabs, 0 dots), Non conv. = 0, Refused = 0" "$out"
  run -q 'SUB\C.C'
  check "names ignore case on Windows" "Refused   : c.c" "$out"
fi

# --- filter, help, version ----------------------------------------------------
got=$(printf 'int     x;\n' | cli -t 4 - 2>"$tmp/err" | od -An -c | tr -s ' ')
check "filter" " i n t \t \t x ; \r \n" "$got"
check "filter counts" "2 tabs, 0 dots" "$(tr -d '\r' <"$tmp/err")"
# A file of many blocks: read ahead, written out past the stream's buffer,
# small pieces and large ones in their order; a full disk is an error.
awk 'BEGIN { for (i = 0; i < 40000; i++) printf "    x;%s\n", (i % 9 ? "" : "  /* c */") }' >"$tmp/big.c"
sed 's/^    /\t/; s/;  \//;\t\//' "$tmp/big.c" | sed 's/$/\r/' >"$tmp/big.want"
cli -t 4 - <"$tmp/big.c" >"$tmp/big.out" 2>/dev/null
same_file "filter, a large file" "$tmp/big.want" "$tmp/big.out"
if [ -z "$emu" ] && [ -w /dev/full ]; then
  got=$(cli -t 4 - <"$tmp/big.c" 2>&1 >/dev/full; echo "status $?")
  check "filter, output full" "ravolin-cli: error writing standard output
status 1" "$got"
fi
# A thread that cannot be started (strace fails clone3): without one to
# convert on, the input goes out unchanged; where a file is read ahead on a
# thread of its own (three processors or more), a failed read-ahead thread
# (the first) leaves the reading ahead to the check and the converter, and
# the output is the same.
if [ -z "$emu" ] && command -v strace >/dev/null &&
   strace -f -o /dev/null -e trace=clone3 "$cli_exe" --version >/dev/null 2>&1; then
  strace -f -o /dev/null -e trace=clone3 -e inject=clone3:error=EAGAIN \
    "$cli_exe" -t 4 - <"$tmp/big.c" >"$tmp/big.out" 2>"$tmp/err"
  check "filter, no thread" "1|ravolin-cli: cannot start a thread (the system's limit on threads or memory); passed through unchanged" "$?|$(cat "$tmp/err")"
  same_file "filter, no thread: input unchanged" "$tmp/big.c" "$tmp/big.out"
  if [ "$(nproc)" -ge 3 ]; then
    strace -f -o /dev/null -e trace=clone3 -e inject=clone3:error=EAGAIN:when=1 \
      "$cli_exe" -t 4 - <"$tmp/big.c" >"$tmp/big.out" 2>/dev/null
    check "filter, no read-ahead thread: exit status" 0 "$?"
    same_file "filter, no read-ahead thread" "$tmp/big.want" "$tmp/big.out"
  fi
fi
run --help
check "help: exit status" 0 "$rc"
for word in Converted: "Non conv.:" "Refused   :" "Skipped   :" "Error:" "Aborted   :" "CR LF" "Exit status" \
  "--check" "--diff" "--restore" "--encoding" "--leading" "--smart" "--expand" "tabs to spaces" "Restored  :" "pre-commit" "undo" "* (any characters)" "--lines=A-B" "--git[=REV]"; do
  contains "help mentions $word" "$word" "$out"
done
check "help fits 80 columns" "" "$(printf '%s\n' "$out" | awk 'length($0) > 79')"
run --version
contains "version" "ravolin-cli " "$out"

# --- .editorconfig, read by the reference library (native builds only) --------
# name | .editorconfig | arguments | report (first line) | exit status
if [ -z "$emu" ]; then
  while IFS='|' read -r name config args report status; do
    fresh
    printf "$config" >.editorconfig
    eval "run $args b.c"
    check "editorconfig, $name: report" "$report" "$(printf '%s\n' "$out$err" | head -n 1)"
    check "editorconfig, $name: exit status" "$status" "$rc"
  done <<'EOF'
tab_width|[*.c]\ntab_width = 8\n||Converted: b.c(1 tabs, 0 dots)|0
numeric indent_size|[*]\nindent_size = 6\n||Converted: b.c(2 tabs, 0 dots)|0
-t wins|[*.c]\ntab_width = 8\n|-t 4|Converted: b.c(3 tabs, 0 dots)|0
indent_style = space|[*.c]\nindent_style = space\n||Skipped   : b.c (editorconfig: indent_style = space)|1
--expand converts it|[*.c]\nindent_style = space\n|--expand|Non conv.: b.c|0
--no-editorconfig|[*.c]\nindent_style = space\n|--no-editorconfig|Converted: b.c(3 tabs, 0 dots)|0
a check has nothing to say|[*.c]\nindent_style = space\n|--check||0
EOF
fi

# --- --lines and --git: only the lines asked for, every line end kept ------
fresh
printf '    a;\n    b;\n    c;\n' >l.c
run --lines=2-2 l.c
check "--lines: report" "Converted: l.c(1 tabs, 0 dots)" "$(printf '%s\n' "$out" | head -n 1)"
check "--lines: that line only, LF kept" "$(printf '    a;\n\tb;\n    c;\n')" "$(cat l.c)"
check "--lines: LF kept, no CR" 0 "$(tr -cd '\r' <l.c | wc -c)"
fresh
printf '    a;\n' >l.c
run --lines=1-2 '*.c'
check "--lines, a pattern that matches three files" "2|    a;|a.c b.c l.c" "$rc|$(cat l.c)|$(echo $(ls))"

if [ -n "$emu" ]; then
  # No git for the Windows program here: that is a clear error too.
  fresh
  run --git --check b.c
  check "--git without git: exit status" 2 "$rc"
elif command -v git >/dev/null; then
  # A real repository: m.c changed but not staged, s.c changed and staged,
  # u.c untracked, k.c committed and unchanged.
  cd "$tmp" && rm -rf repo && mkdir repo && cd repo || exit 1
  git init -q . && git config user.email t@example.org && git config user.name t && git config core.autocrlf false
  printf '    a;\n    b;\n    c;\n' >m.c
  printf '    s;\n' >s.c
  printf '    k;\n' >k.c
  git add . && git commit -qm one
  printf '    a;\n    B;\n    c;\n' >m.c
  printf '    s;\n    t;\n' >s.c
  git add s.c
  printf '    u;\n    v;\n' >u.c
  run --git --check k.c m.c s.c u.c
  check "--git --check: the files with changed lines" "1|m.c s.c u.c" "$rc|$(echo $out)"
  run --git --diff k.c m.c s.c u.c
  check "--git --diff: the changed lines only" "$(printf '+\tB;\n+\tt;\n+\tu;\n+\tv;')" "$(grep '^+[^+]' "$tmp/out")"
  run --git=HEAD~5 m.c
  check "--git, unknown revision: exit status" 2 "$rc"
  contains "--git, unknown revision: git's words" "HEAD~5" "$err"
  PATH=/nonexistent "$cli_exe" --git m.c >"$tmp/out" 2>"$tmp/err"
  rc=$?
  err=$(cat "$tmp/err")
  check "--git, no git: exit status" "2|m.c" "$rc|$(ls m.c*)"
  contains "--git, no git: message" "git could not be run" "$err"
  run --git k.c m.c s.c u.c
  check "--git run: exit status" 0 "$rc"
  check "--git run: changed lines converted, the rest kept" "$(printf '    a;\n\tB;\n    c;|    s;\n\tt;|\tu;\n\tv;|    k;')" \
    "$(cat m.c)|$(cat s.c)|$(cat u.c)|$(cat k.c)"
  check "--git run: an unchanged file gets no backup" "" "$(ls k.c.bak 2>/dev/null)"
  run --git --check k.c m.c s.c u.c
  check "--git --check after the run" "0|" "$rc|$out"
  # Before the first commit there is no HEAD: a staged file is new, all of it.
  cd "$tmp" && rm -rf first && mkdir first && cd first && git init -q . && printf '    f;\n' >f.c && git add f.c
  run --git --check f.c
  check "--git before the first commit" "1|f.c" "$rc|$out"
  mkdir "$tmp/norepo" && printf '    a;\n' >"$tmp/norepo/n.c"
  GIT_CEILING_DIRECTORIES=$tmp run --git "$tmp/norepo/n.c"
  check "--git outside a repository: exit status" 2 "$rc"
  contains "--git outside a repository: message" "not a git repository" "$err"
fi

# --- native only: signals and the progress line -------------------------------
if [ -z "$emu" ]; then
  # The report is larger than a pipe holds, so the run waits on it while
  # the signal comes; reading its first line proves the handlers are set.
  long=$(printf '%0240d' 0)
  for case in "INT 130" "TERM 143" "HUP 129" "QUIT 131"; do
    set -- $case
    fresh
    rm a.c b.c
    i=1000
    while [ $i -lt 1400 ]; do printf '        y;\n' >"$i$long.c"; i=$((i + 1)); done
    mkfifo "$tmp/fifo"
    "$cli_exe" >"$tmp/fifo" 2>"$tmp/err" &
    pid=$!
    exec 3<"$tmp/fifo"
    read -r first <&3
    kill -s "$1" $pid
    rest=$(cat <&3)
    exec 3<&-
    wait $pid
    rc=$?
    rm "$tmp/fifo"
    check "SIG$1: exit status" "$2" "$rc"
    check "SIG$1: report ends with aborted." "aborted." "$(printf '%s\n' "$rest" | tail -n 1)"
    converted=$(ls | grep -v '\.bak$' | while read -r f; do cat "$f"; done | grep -c "$(printf '^\t\ty;\r$')")
    original=$(ls | grep -v '\.bak$' | while read -r f; do cat "$f"; done | grep -c '^        y;$')
    check "SIG$1: each file converted or as it was" 400 $((converted + original))
    [ "$converted" -lt 400 ] || fail "SIG$1: the run was not interrupted"
  done

  fresh
  rm a.c b.c
  i=1000
  while [ $i -lt 1020 ]; do printf 'x;\n' >f$i.c; i=$((i + 1)); done
  script -qec "'$cli_exe' -q" /dev/null >"$tmp/tty" </dev/null
  contains "progress on a terminal" "$(printf '\r')[1/20] f1000.c" "$(cat "$tmp/tty")"
  run -t 4 'f*.c'
  check "no progress off a terminal" "" "$err"
fi

[ $fails -eq 0 ] && echo "all passed"
exit $fails
