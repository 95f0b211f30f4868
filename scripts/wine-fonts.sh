#!/usr/bin/env bash
# Points the faces Japanese Windows draws its windows with at the IPA fonts
# (fonts-ipafont-gothic), in the Wine prefix $WINEPREFIX.
#
#   scripts/wine-fonts.sh [wine-loader]     (default /usr/lib/wine/wine64)
#
# Without this, Wine answers a Japanese request for the System font (the font
# a new window's DC starts with) with the first Japanese face it finds, the
# monospaced IPAGothic, which reports fixed pitch; Japanese Windows gives a
# proportional face there, and windows that size themselves from its metrics
# come out too narrow. "System,128" only matches requests for the Shift-JIS
# character set, so other code pages keep their own System font. "MS UI
# Gothic" is left alone: once a face of that name exists, Wine takes it for
# the System font under the other code pages too.
# Safe to run again; a marker in the prefix makes a second run free.
set -u
loader=${1:-/usr/lib/wine/wine64}
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
marker=$WINEPREFIX/.ravolin-fonts-ok
[ -f "$marker" ] && exit 0

subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
repl='HKCU\Software\Wine\Fonts\Replacements'
# key      value                           face
table=(
  "$subst" 'System,128'                    'IPAPGothic,128'
  "$repl"  'MS PGothic'                    'IPAPGothic'
  "$repl"  'ＭＳ Ｐゴシック'                'IPAPGothic'
  "$repl"  'MS Gothic'                     'IPAGothic'
  "$repl"  'ＭＳ ゴシック'                 'IPAGothic'
)
# The Japanese names go through the command line, which Wine decodes by the
# Unix locale: make it a UTF-8 one if the caller's is not.
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LANG=C.UTF-8 LC_ALL=C.UTF-8
for ((i = 0; i < ${#table[@]}; i += 3)); do
  timeout 300 "$loader" reg add "${table[i]}" \
    /v "${table[i + 1]}" /d "${table[i + 2]}" /f >/dev/null 2>&1 || {
    echo "wine-fonts: cannot set ${table[i + 1]} in $WINEPREFIX" >&2
    exit 1
  }
done
# The registry reaches the prefix's files when the wineserver exits.
server=wineserver
case $loader in */*) server=${loader%/*}/wineserver ;; esac
timeout 120 "$server" -w || exit 1
touch "$marker"
