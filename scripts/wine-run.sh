#!/usr/bin/env bash
# Runs a Windows executable under Wine with a quiet prefix of our own.
# 64-bit programs go to wine64; 32-bit ones to the 32-bit loader (which on a
# kernel without 32-bit support runs through qemu-i386, see install-deps.sh).
# Each kind gets its own prefix, made on first use.
set -u
exe=$1; shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx1 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
cache=${XDG_CACHE_HOME:-$HOME/.cache}/ravolin
if [ "$machine" = "6486" ]; then
  export WINEPREFIX=${WINEPREFIX:-$cache/wine64}
  loader=/usr/lib/wine/wine64
else
  export WINEPREFIX=${WINEPREFIX:-$cache/wine32}
  loader=/usr/lib/wine/wine
fi
mkdir -p "$(dirname "$WINEPREFIX")"
exec "$loader" "$exe" "$@"
