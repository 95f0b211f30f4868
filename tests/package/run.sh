#!/usr/bin/env bash
# Tests the release packages in dist/ (scripts/package.sh) as a user gets
# them: the .deb installed into a scratch root, run and its man page shown,
# lintian; each zip unpacked into a folder whose name has a space and
# Japanese characters, its ravolin-cli.exe run under Wine; the manifest,
# version resource and icon read back from each Windows program.
#
#   tests/package/run.sh [--no-win32]
#
# --no-win32: the 32-bit programs are inspected but not run (where 32-bit
# Wine cannot start). The unpacked folders stay in build/package/unpacked/
# for the window suite (tests/e2e/run.sh build/win64 UNPACKED/Ravolin.exe).
# Prints one line per check and "N passed, M failed".
set -u
cd "$(dirname "$0")/../.."
root=$PWD
run_win32=1
[ "${1:-}" = --no-win32 ] && run_win32=

pass=0
fail=0
ok() { pass=$((pass + 1)); echo "PASS $*"; }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }
check() {  # check WHAT COMMAND...: passes when the command succeeds
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then ok "$what"; else bad "$what"; fi
}
finish() { echo "$pass passed, $fail failed"; [ "$fail" -eq 0 ]; exit; }

version=$(sed -n 's/^project(Ravolin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=dist/ravolin-cli_${version}_amd64.deb
zips=(dist/Ravolin-$version-win32.zip dist/Ravolin-$version-win64.zip)
for f in "$deb" "${zips[@]}" dist/SHA256SUMS; do
  [ -f "$f" ] || { bad "missing $f (scripts/package.sh)"; finish; }
done
check "SHA256SUMS matches the artifacts" sh -c 'cd dist && sha256sum --quiet -c SHA256SUMS'

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- the Debian package
lintian --fail-on error --no-tag-display-limit "$deb" >"$tmp/lintian.log" 2>&1 &&
  ok "lintian: no errors" || { bad "lintian: errors"; cat "$tmp/lintian.log"; }
grep -E '^[WI]:' "$tmp/lintian.log" | sed 's/^/     lintian /'

scratch=$tmp/root
mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates"
touch "$scratch/var/lib/dpkg/status"
# The scratch root has no libc6 of its own: the host's libraries serve.
dpkg_=(dpkg --root="$scratch" --force-not-root --force-depends --force-script-chrootless
       --log=/dev/null)
check ".deb: installs into a scratch root" "${dpkg_[@]}" -i "$deb"
out=$("$scratch/usr/bin/ravolin-cli" --version 2>&1)
case $out in "ravolin-cli R$version "*) ok ".deb: ravolin-cli --version says $version" ;;
  *) bad ".deb: ravolin-cli --version says '$out'" ;; esac
man=$(MANWIDTH=80 man -l "$scratch/usr/share/man/man1/ravolin-cli.1.gz" 2>&1)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES FILES REPORT; do
  grep -qx "$section" <<<"$man" && ok ".deb: man page has $section" || bad ".deb: man page lacks $section"
done
grep -q 'NAME\.bak' <<<"$(sed -n '/^FILES/,/^[A-Z]/p' <<<"$man")" &&
  ok ".deb: man page's FILES names the backup" || bad ".deb: man page's FILES lacks NAME.bak"
for f in usr/share/doc/ravolin-cli/README.md usr/share/doc/ravolin-cli/copyright; do
  check ".deb: /$f" test -s "$scratch/$f"
done
check ".deb: copyright holds the licence" grep -q 'Permission is hereby granted' \
  "$scratch/usr/share/doc/ravolin-cli/copyright"
check ".deb: removes cleanly" "${dpkg_[@]}" --purge ravolin-cli
check ".deb: nothing left after removal" test ! -e "$scratch/usr/bin/ravolin-cli"

# --- the zips
unpacked=$root/build/package/unpacked
rm -rf "$unpacked"
dest="$unpacked/Ravolin テスト 展開先"
mkdir -p "$dest"
for zip in "${zips[@]}"; do
  name=$(basename "$zip" .zip)
  bits=${name##*-}
  (cd "$dest" && cmake -E tar xf "$root/$zip") || { bad "$name: cannot unpack"; continue; }
  listing=$(cd "$dest" && find "$name" | LC_ALL=C sort | tr '\n' ' ')
  expect="$name $name/LICENSE.txt $name/README.txt $name/Ravolin.exe $name/ravolin-cli.exe "
  [ "$listing" = "$expect" ] && ok "$name: one folder of the programs, README and licence" ||
    bad "$name: holds $listing"
  check "$name: README in both languages" grep -q 'Windows 版' "$dest/$name/README.txt"
  dir=$dest/$name
  for exe in Ravolin.exe ravolin-cli.exe; do
    f=$dir/$exe
    manifest=$(wrestool -x --raw -t24 "$f" 2>/dev/null)
    # The version resource's strings are UTF-16, its numbers and padding
    # 16-bit aligned: decoded whole, the strings read in order.
    version_text=$(wrestool -x --raw -t16 "$f" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 -c | tr -d '\000-\037')
    # (icotool reads a PNG-compressed size only from a file it can seek in)
    wrestool -x -t14 "$f" >"$tmp/icon.ico" 2>/dev/null
    icons=$(icotool -l "$tmp/icon.ico" 2>/dev/null | grep -o 'width=[0-9]*' | tr '\n' ' ')
    # what                          text              expected in it
    checks=(
      "manifest asInvoker"          "$manifest"       'level="asInvoker"'
      "manifest long paths"         "$manifest"       '<longPathAware[^>]*>true<'
      "manifest Windows 10 and 11"  "$manifest"       '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'
      "version English block"       "$version_text"   '040904b0.*ProductVersion.*'"$version"
      "version Japanese block"      "$version_text"   '041104b0.*Ravolin 開発者一同'
      "version file name"           "$version_text"   "OriginalFilename.*$exe"
      "icon 16, 32, 48, 256 px"     "$icons"          'width=16 width=32 width=48 width=256'
    )
    if [ "$exe" = Ravolin.exe ]; then
      checks+=(
        "manifest common controls 6" "$manifest" 'Microsoft.Windows.Common-Controls" version="6'
        "manifest DPI aware"         "$manifest" '<dpiAware[^>]*>true<'
      )
    fi
    for ((i = 0; i < ${#checks[@]}; i += 3)); do
      grep -Eq -- "${checks[i + 2]}" <<<"${checks[i + 1]}" && ok "$bits $exe: ${checks[i]}" ||
        bad "$bits $exe: ${checks[i]}"
    done
  done
  if [ "$bits" = win32 ] && [ -z "$run_win32" ]; then
    echo "     $name: ravolin-cli.exe not run (32-bit Wine cannot start here)"
    continue
  fi
  out=$(cd "$dir" && timeout 600 "$root/scripts/wine-run.sh" "$dir/ravolin-cli.exe" --version 2>&1 | tr -d '\r')
  case $out in "ravolin-cli R$version "*) ok "$name: ravolin-cli.exe --version from the unpacked folder" ;;
    *) bad "$name: ravolin-cli.exe --version says '$out'" ;; esac
done
finish
