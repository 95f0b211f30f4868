#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts Ravolin.exe
# under Wine on this desktop, in the folder it was called from (the window's
# default file pattern .\*.c and its Ravolin.ini are there). Without a
# display it shows ravolin-cli's help.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null && cmake --build --preset native --target ravolin-cli
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: here is the terminal version (build/native/ravolin-cli)."
  exec build/native/ravolin-cli --help
fi
. scripts/wine-env.sh
# The 32-bit program is the one we ship; where this kernel runs 32-bit code
# only through an emulator, start the 64-bit build, which behaves the same.
preset=win32 bits=32
wine_32bit_emulated && preset=win64 bits=64
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target Ravolin
exe=$PWD/build/$preset/Ravolin.exe
wine_run=$PWD/scripts/wine-run.sh
echo "Starting $exe ($bits-bit) under Wine on $DISPLAY, LANG=${LANG:-unset}, in $here (its Ravolin.ini is kept there)."
cd "$here"
exec "$wine_run" "$exe"
