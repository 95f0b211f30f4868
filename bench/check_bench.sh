#!/usr/bin/env bash
# --check against the plain run over a large tree: 20,000 C files of about
# 5 KB in 200 folders (two levels), cut at line ends from the headers under
# /usr/include passed through `expand -t 4`. Timed, best of several rounds,
# all from the page cache:
#   check, dirty   --check -r on the fresh tree (every file would change)
#   check, clean   --check -r on the tree the run converted (nothing would
#                  change: the everyday pre-commit case)
#   diff, dirty    --diff -r on the fresh tree, to /dev/null
#   run            the plain run -q -r on a fresh copy (backups, rewrites)
#   cat            the floor of a check: the same walk and reads by `find`
#                  and one `cat` over all the files, on the fresh tree and on
#                  the converted one (CR LF line ends), to /dev/null
#
#   check_bench.sh [PATH/TO/ravolin-cli] [ROUNDS]
set -euo pipefail
default_rounds=3
. "$(dirname "$0")/bench_setup.sh"

files=20000
mkdir "$tmp/src"
find /usr/include -name '*.h' -print0 | sort -z | xargs -0 cat 2>/dev/null | expand -t 4 |
  awk -v dir="$tmp/src" -v want=$files '
       function open_next() {
         d = sprintf("%s/d%02d/e%02d", dir, int(n / 1000), int(n / 100) % 10)
         if (n % 100 == 0) system("mkdir -p " d)
         f = sprintf("%s/f%05d.c", d, n)
       }
       BEGIN { n = 0; size = 0; open_next() }
       { print > f; size += length($0) + 1
         if (size >= 5000) { close(f); n++; size = 0; if (n == want) exit; open_next() } }' ||
  true  # awk stops reading once the tree is full
count=$(find "$tmp/src" -name '*.c' | wc -l)
[ "$count" -eq $files ] || { echo "only $count files could be made" >&2; exit 1; }
bytes=$(find "$tmp/src" -name '*.c' -print0 | du -cb --files0-from=- | tail -1 | cut -f1)

fresh() { rm -rf "$tmp/w"; cp -R "$tmp/src" "$tmp/w"; sync -f "$tmp/w" 2>/dev/null || true; }
lines() { wc -l <"$1" | tr -d ' '; }

best_dirty=999 best_clean=999 best_diff=999 best_run=999 best_cat_dirty=999 best_cat_clean=999
# One cat process for all the files (xargs would start one per 128 KiB of
# names by default).
cat_all() { find "$1" -name '*.c' -print0 | xargs -0 -s 1000000 cat >/dev/null; }
cd "$tmp"
for ((r = 0; r < rounds; r++)); do
  fresh
  t0=$(now); cat_all w; t1=$(now)
  best_cat_dirty=$(min "$best_cat_dirty" "$(echo "$t1 - $t0" | bc)")
  # Files the run would skip are named on standard error; they count too.
  t0=$(now); "$cli" --check -r w >list 2>skipped || true; t1=$(now)
  best_dirty=$(min "$best_dirty" "$(echo "$t1 - $t0" | bc)")
  [ "$(($(lines list) + $(lines skipped)))" -eq "$count" ] || { echo "--check missed files" >&2; exit 1; }

  t0=$(now); "$cli" --diff -r w >/dev/null 2>&1 || true; t1=$(now)
  best_diff=$(min "$best_diff" "$(echo "$t1 - $t0" | bc)")

  t0=$(now); "$cli" -q -r w >/dev/null || true; t1=$(now)
  best_run=$(min "$best_run" "$(echo "$t1 - $t0" | bc)")

  t0=$(now); cat_all w; t1=$(now)
  best_cat_clean=$(min "$best_cat_clean" "$(echo "$t1 - $t0" | bc)")
  # Files the run skipped keep the exit status at 1; only the list counts.
  t0=$(now); "$cli" --check -r w >list 2>/dev/null || true; t1=$(now)
  best_clean=$(min "$best_clean" "$(echo "$t1 - $t0" | bc)")
  [ "$(lines list)" -eq 0 ] || { echo "--check found changes after the run" >&2; exit 1; }
done

printf 'files: %d in 200 folders, %.1f KB each on average, %.1f MB in all; %d skipped; best of %d rounds\n' \
  "$count" "$(echo "$bytes / $count / 1000" | bc -l)" "$(echo "$bytes / 1000000" | bc -l)" "$(lines skipped)" "$rounds"
printf 'run            %8.3f s\n' "$best_run"
printf 'check, dirty   %8.3f s   %.2f of the run, %.2fx cat (%.3f s)\n' "$best_dirty" \
  "$(echo "$best_dirty / $best_run" | bc -l)" "$(echo "$best_dirty / $best_cat_dirty" | bc -l)" "$best_cat_dirty"
printf 'check, clean   %8.3f s   %.2f of the run, %.2fx cat (%.3f s)\n' "$best_clean" \
  "$(echo "$best_clean / $best_run" | bc -l)" "$(echo "$best_clean / $best_cat_clean" | bc -l)" "$best_cat_clean"
printf 'diff, dirty    %8.3f s   %.2f of the run\n' "$best_diff" "$(echo "$best_diff / $best_run" | bc -l)"
