#!/usr/bin/env bash
# Runs a Windows executable under Wine with a quiet prefix of our own (the
# settings are in wine-env.sh). Each kind of program, 64-bit and 32-bit, gets
# its own prefix, made on first use.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
set -u
. "$(dirname "$0")/wine-env.sh"
exe=$1; shift
loader=$(wine_loader_for "$exe")
cache=${XDG_CACHE_HOME:-$HOME/.cache}/ravolin
if [ "$loader" = "$wine64_loader" ]; then
  export WINEPREFIX=${WINEPREFIX:-$cache/wine64}
else
  export WINEPREFIX=${WINEPREFIX:-$cache/wine32}
fi
mkdir -p "$(dirname "$WINEPREFIX")"
# Japanese windows want a proportional System font, as on Japanese Windows.
# Skipped for an emulated 32-bit loader, where each registry write costs a
# minute; the window suite sets up its own prefix the same way.
if [ "$loader" = "$wine64_loader" ] || ! wine_32bit_emulated; then
  wine_fonts "$loader" || true
fi
exec "$loader" "$exe" "$@"
