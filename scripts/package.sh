#!/usr/bin/env bash
# Builds the release packages from the sources, in build folders of their own
# made afresh, into dist/:
#
#   Ravolin-VERSION-win32.zip, Ravolin-VERSION-win64.zip
#   ravolin-cli_VERSION_amd64.deb
#   SHA256SUMS
#
# The version is project(VERSION)'s. Every time stamp in them (files in the
# zips and the .deb, the man page's date, the changelog's) is the last
# commit's, or SOURCE_DATE_EPOCH's when set, and the Windows programs carry
# no link time: packaging the same commit again gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
# Tools that sort or format by locale give the same output everywhere.
export LC_ALL=C.UTF-8 TZ=UTC

work=$root/build/package
rm -rf "$work" dist
mkdir -p "$work" dist

# build NAME TOOLCHAIN TARGETS...: a release build of only what ships.
build() {
  local name=$1 toolchain=$2; shift 2
  local args=(-S "$root" -B "$work/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release
              -DRAVOLIN_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
  [ -n "$toolchain" ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain")
  # The Debian package links the system's libraries like any other package,
  # with Debian's hardening (checked string functions, read-only relocations
  # bound at start).
  [ "$name" = deb ] && args+=(-DRAVOLIN_STATIC_CLI=OFF -DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2
                              "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now")
  echo "package: building $name"
  cmake "${args[@]}" >"$work/$name.configure.log" ||
    { cat "$work/$name.configure.log"; return 1; }
  cmake --build "$work/$name" -j2 --target "$@" >"$work/$name.build.log" ||
    { tail -20 "$work/$name.build.log"; return 1; }
  (cd "$work/$name" && cpack >"$work/$name.cpack.log" 2>&1) ||
    { cat "$work/$name.cpack.log"; return 1; }
  cp "$work/$name"/packages/*.zip "$work/$name"/packages/*.deb dist/ 2>/dev/null || true
}

command -v help2man >/dev/null || { echo "package: help2man is missing (scripts/install-deps.sh)" >&2; exit 1; }
build deb "" ravolin-cli ravolin-cli-man ravolin-cli-changelog
build win64 mingw-x86_64.cmake Ravolin ravolin-cli
build win32 mingw-i686.cmake Ravolin ravolin-cli

cd dist
sha256sum -- *.zip *.deb >SHA256SUMS
echo "package: dist/ (time stamps from $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M UTC'))"
cat SHA256SUMS
