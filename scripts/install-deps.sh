#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run again: it only installs what is missing.
set -euo pipefail

pkgs=(cmake ninja-build g++ clang googletest
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      wine wine32:i386 wine64 xvfb xauth imagemagick locales fonts-ipafont-gothic fonts-dejavu-core libx11-dev
      libeditorconfig-dev libpcre2-dev e2fsprogs coreutils valgrind bc unicode-data
      help2man lintian dpkg-dev man-db icoutils strace git)

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_ dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails one index file now and then ("File
  # has unexpected size ... Mirror sync in progress?") while the rest, and
  # the packages we need, are fine: try update a few times, then go on and
  # let the install say what cannot be had.
  for try in 1 2 3; do
    sudo_ apt-get update -qq && break
    echo "install-deps: apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep $((try * 5))
  done
  install() { sudo_ apt-get install -y -qq --no-install-recommends "$@"; }
  if [ "${#missing[@]}" -gt 0 ] && ! install "${missing[@]}"; then
    # The 32-bit Wine needs i386 libraries at exactly the versions of the
    # amd64 ones, so a mirror that fails the i386 index of one suite (seen:
    # the security updates) leaves it uninstallable while everything else
    # is fine. Install the rest: the test command then says that the 32-bit
    # suites cannot run here and counts them as skipped.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    if [ "${#rest[@]}" -eq "${#missing[@]}" ] || ! install "${rest[@]}"; then
      echo "install-deps: could not install: ${missing[*]}" >&2
      exit 1
    fi
    echo "install-deps: wine32:i386 cannot be installed from this mirror now;" \
         "the 32-bit Windows suites will be skipped" >&2
  fi
fi

# Wine takes the ANSI code page from the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sudo_ sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
fi

# Some kernels (small VMs) cannot run 32-bit x86 programs, and the 32-bit Wine
# loader is one. Route them through qemu's user-mode emulator: slow, but the
# 32-bit Windows build can then be tested here too.
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends qemu-user-static
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || sudo_ mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      sudo_ tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
fi
