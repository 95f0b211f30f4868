#!/usr/bin/env bash
# Runs a Windows executable under Wine with a quiet, private prefix.
# 64-bit programs go to wine64; 32-bit ones to the 32-bit loader (which on a
# kernel without 32-bit support runs through qemu-i386, see install-deps.sh).
set -u
exe=$1; shift
export WINEPREFIX=${WINEPREFIX:-${RAVOLIN_WINEPREFIX:-$HOME/.wine-ravolin}}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
loader=wine
if [ -x /usr/lib/wine/wine64 ] && od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$exe") + 4 ))" -N2 "$exe" | grep -q '64 86'; then
  loader=/usr/lib/wine/wine64
fi
exec "$loader" "$exe" "$@"
