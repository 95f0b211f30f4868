# The Wine settings of every script that runs our Windows programs
# (scripts/wine-run.sh for the unit tests and the run command,
# tests/e2e/run.sh for the window suite). Source it from bash:
#
#   . scripts/wine-env.sh
#
# It exports the quiet settings below and defines the loaders and the
# functions that pick a loader and set up a prefix; it runs nothing else.

# No logs; and no offer to install Mono or Gecko, which under Xvfb is an
# invisible prompt a first wineboot can wait on for ever.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine64_loader=/usr/lib/wine/wine64
wine32_loader=/usr/lib/wine/wine
wine_server=/usr/lib/wine/wineserver

# True when EXE is a 64-bit (x86-64) Windows program: the machine field of
# its PE header, at the offset stored at 60, reads 64 86.
wine_is_64bit() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -tx1 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" = 6486 ]
}

# The loader for EXE: wine64 for 64-bit programs, the 32-bit loader for the
# others (on a kernel without 32-bit support it runs through qemu-i386, see
# install-deps.sh, and is much slower).
wine_loader_for() {
  if wine_is_64bit "$1"; then echo "$wine64_loader"; else echo "$wine32_loader"; fi
}

# True where 32-bit programs run only through the emulator.
wine_32bit_emulated() { [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; }

# Sets a registry value in $WINEPREFIX: LOADER KEY NAME DATA [TYPE].
wine_reg_add() {
  timeout 300 "$1" reg add "$2" /v "$3" /t "${5:-REG_SZ}" /d "$4" /f >/dev/null 2>&1
}

# Waits for the prefix's wineserver to end: only then is the registry in the
# prefix's files.
wine_settle() { timeout 120 "$wine_server" -w; }

# Ends every process of the prefix $WINEPREFIX.
wine_kill() { timeout 20 "$wine_server" -k >/dev/null 2>&1; }

# Starts the wineserver of $WINEPREFIX (set up by LOADER first) to stay until
# wine_kill. A wineserver ends a few seconds after its last program, and a
# program started just as it ends fails ("recvmsg: Connection reset by
# peer"), about once in a hundred back-to-back runs: a suite of many short
# runs meets that. The server and the prefix's own background programs
# (services.exe and the like, which stay as long as the server does) start
# here with none of the caller's files open: a test runner waits for every
# holder of its test's output pipe to end.
wine_hold() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  wine_fonts "$1" || true
  (
    cd / || exit 1
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done
    exec </dev/null >/dev/null 2>&1
    "$wine_server" -p && timeout 300 "$1" cmd /c exit 0
  )
}

# A new prefix in $WINEPREFIX, made by LOADER (wine64 sets up the 32-bit half
# as well).
wine_boot() { timeout 900 "$1" wineboot -i; }

# One virtual desktop of WIDTHxHEIGHT for every process of the prefix, so that
# windows get frames in screenshots and a process can find another's windows
# with FindWindow. (A desktop made with `explorer /desktop=NAME,...` is
# separate: other processes do not see its windows.)
wine_single_desktop() {
  wine_reg_add "$1" 'HKCU\Software\Wine\Explorer' Desktop Default &&
    wine_reg_add "$1" 'HKCU\Software\Wine\Explorer\Desktops' Default "$2"
}

# Points the faces Japanese Windows draws its windows with at the IPA fonts
# (fonts-ipafont-gothic), in $WINEPREFIX, using LOADER.
#
# Without this, Wine answers a Japanese request for the System font (the font
# a new window's DC starts with) with the first Japanese face it finds, the
# monospaced IPAGothic, which reports fixed pitch; Japanese Windows gives a
# proportional face there, and windows that size themselves from its metrics
# come out too narrow. "System,128" only matches requests for the Shift-JIS
# character set, so other code pages keep their own System font. "MS UI
# Gothic" is left alone: once a face of that name exists, Wine takes it for
# the System font under the other code pages too.
#
# Under any other code page Wine draws the System font with DejaVu Sans Bold
# (fontconfig's sans face on Debian), which has no Japanese glyphs: the
# program's Japanese labels, given as UTF-16, would show as boxes. Linking
# the DejaVu faces to IPAPGothic gives them the Japanese glyphs, as font
# linking does for the system faces of Windows, while Latin text (and '\')
# keeps its own face. A link on "System" itself would not do: it replaces
# the whole face.
# Safe to run again; a marker in the prefix makes a second run free. Runs in
# a subshell, since it may change the locale.
wine_fonts_marker=.ravolin-fonts-2-ok
wine_fonts() (
  loader=$1
  : "${WINEPREFIX:?set WINEPREFIX}"
  marker=$WINEPREFIX/$wine_fonts_marker
  [ -f "$marker" ] && exit 0
  subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  repl='HKCU\Software\Wine\Fonts\Replacements'
  link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  # key      value                           face
  table=(
    "$subst" 'System,128'                    'IPAPGothic,128'
    "$repl"  'MS PGothic'                    'IPAPGothic'
    "$repl"  'ＭＳ Ｐゴシック'                'IPAPGothic'
    "$repl"  'MS Gothic'                     'IPAGothic'
    "$repl"  'ＭＳ ゴシック'                 'IPAGothic'
  )
  # face linked                  font file and face it falls back to
  links=(
    'DejaVu Sans'                'ipagp.ttf,IPAPGothic'
    'DejaVu Sans Bold'           'ipagp.ttf,IPAPGothic'
  )
  # The Japanese names go through the command line, which Wine decodes by the
  # Unix locale: make it a UTF-8 one if the caller's is not.
  [ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LANG=C.UTF-8 LC_ALL=C.UTF-8
  for ((i = 0; i < ${#table[@]}; i += 3)); do
    wine_reg_add "$loader" "${table[i]}" "${table[i + 1]}" "${table[i + 2]}" || {
      echo "wine-fonts: cannot set ${table[i + 1]} in $WINEPREFIX" >&2
      exit 1
    }
  done
  for ((i = 0; i < ${#links[@]}; i += 2)); do
    wine_reg_add "$loader" "$link" "${links[i]}" "${links[i + 1]}" REG_MULTI_SZ || {
      echo "wine-fonts: cannot link ${links[i]} in $WINEPREFIX" >&2
      exit 1
    }
  done
  wine_settle || exit 1
  touch "$marker"
)
