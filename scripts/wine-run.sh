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
# Japanese windows want a proportional System font, as on Japanese Windows.
# Skipped for an emulated 32-bit loader, where each registry write costs a
# minute; the window suite sets up its own prefix the same way.
if [ "$loader" = /usr/lib/wine/wine64 ] || [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  "$(dirname "$0")/wine-fonts.sh" "$loader" || true
fi
exec "$loader" "$exe" "$@"
