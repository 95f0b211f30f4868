#!/bin/sh
# Runs the full-disk test of the batch run on a real 100 KiB tmpfs.
#   batch_small_disk.sh TEST_BINARY [EMULATOR]
# Mounting needs root; without it the test is reported as skipped (77).
set -u
bin=$1
emu=${2:-}
mnt=$(mktemp -d /tmp/ravolin-small-XXXXXX) || exit 1
if ! mount -t tmpfs -o size=100k tmpfs "$mnt" 2>/dev/null; then
  rmdir "$mnt"
  echo "cannot mount a small tmpfs here: skipped"
  exit 77
fi
trap 'umount "$mnt"; rmdir "$mnt"' EXIT
if [ -n "$emu" ]; then
  where="Z:$(printf '%s' "$mnt" | tr / '\\')"  # Wine sees / as drive Z:
else
  where=$mnt
fi
RAVOLIN_SMALL_FS=$where $emu "$bin" --gtest_filter='BatchSmallDisk.*'
