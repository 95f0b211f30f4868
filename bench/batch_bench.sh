#!/usr/bin/env bash
# Batch run throughput: ravolin-cli over 500 real C files of about 10 KB each
# against the floor of the same file work done by standard tools, all in one
# run on the same files from the page cache. Each is timed several times,
# interleaved, on a fresh copy of the files; the best time counts.
#
#   batch_bench.sh [PATH/TO/ravolin-cli] [ROUNDS]
#
# Floors:
#   cp+cat   per file: `cp f f.bak` then `cat f.bak > f` (two processes a file)
#   bulk cp  the same bytes moved by two cp processes in all: every file to a
#            backup folder, then every backup back over its file
# The corpus is what the tool is for: tab-indented C (the kernel headers under
# /usr/include/linux and /usr/include/asm-generic) passed through `expand -t 4`.
set -euo pipefail
default_rounds=5
. "$(dirname "$0")/bench_setup.sh"

# 500 files of about 10 KB, cut at line ends from the expanded headers.
mkdir "$tmp/src"
find /usr/include/linux /usr/include/asm-generic -name '*.h' -print0 | sort -z | xargs -0 cat 2>/dev/null |
  expand -t 4 |
  awk -v dir="$tmp/src" 'BEGIN { n = 0; size = 0; f = sprintf("%s/f%03d.c", dir, n) }
       { print > f; size += length($0) + 1
         if (size >= 10000) { close(f); n++; size = 0; if (n == 500) exit; f = sprintf("%s/f%03d.c", dir, n) } }' ||
  true  # awk stops reading after the 500th file
count=$(ls "$tmp/src" | wc -l)
[ "$count" -eq 500 ] || { echo "only $count files could be made" >&2; exit 1; }
bytes=$(cat "$tmp/src"/*.c | wc -c)

fresh() { rm -rf "$tmp/w" "$tmp/b"; mkdir "$tmp/w" "$tmp/b"; cp "$tmp/src"/*.c "$tmp/w/"; sync -f "$tmp/w" 2>/dev/null || true; }

best_cli=999 best_floor=999 best_bulk=999
for ((r = 0; r < rounds; r++)); do
  fresh
  t0=$(now); "$cli" -t 4 "$tmp/w/*.c" > "$tmp/report" || true; t1=$(now)  # exit 1 when a file is skipped
  best_cli=$(min "$best_cli" "$(echo "$t1 - $t0" | bc)")
  # The corpus is cut at line ends, not at comment ends: a file that begins
  # inside a comment may read as broken C (an apostrophe opening a character
  # constant), and the conversion check then skips it.
  [ "$(grep -c '^Converted: \|^Non conv.: \|^Skipped   : ' "$tmp/report")" -eq "$count" ] ||
    { echo "not every file was handled" >&2; exit 1; }

  fresh
  t0=$(now)
  (cd "$tmp/w" && for f in *.c; do cp "$f" "$f.bak"; cat "$f.bak" > "$f"; done)
  t1=$(now)
  best_floor=$(min "$best_floor" "$(echo "$t1 - $t0" | bc)")

  fresh
  t0=$(now); cp "$tmp/w"/*.c "$tmp/b/" && cp "$tmp/b"/*.c "$tmp/w/"; t1=$(now)
  best_bulk=$(min "$best_bulk" "$(echo "$t1 - $t0" | bc)")
done

tail -n 1 "$tmp/report"  # the summary comes last
grep '^Skipped   : ' "$tmp/report" || true
printf 'files: %d, %.1f KB each on average, %.1f MB in all; best of %d rounds\n' \
  "$count" "$(echo "$bytes / $count / 1000" | bc -l)" "$(echo "$bytes / 1000000" | bc -l)" "$rounds"
printf 'ravolin-cli      %8.3f s\n' "$best_cli"
printf 'floor cp+cat     %8.3f s   ratio %.2f (target <= 1.5)\n' "$best_floor" "$(echo "$best_cli / $best_floor" | bc -l)"
printf 'floor bulk cp    %8.3f s   ratio %.2f (target <= 1.2)\n' "$best_bulk" "$(echo "$best_cli / $best_bulk" | bc -l)"
