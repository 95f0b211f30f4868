# Sourced by the benchmark scripts after `set -euo pipefail`, with
# default_rounds set: ravolin-cli's path ($1, the native build by default)
# made absolute, the number of rounds ($2), a temporary folder $tmp that goes
# away on exit, and the timing helpers.
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/native/ravolin-cli}
rounds=${2:-$default_rounds}
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? a : b }'; }
