#!/usr/bin/env bash
# The unload loop on Windows: the MSVC-ABI host (tests/abi/msvc_host.cpp) loads the module
# by LoadLibrary, connects it to the simulator on port 4444, waits for Ready, shuts it down
# and unloads it, COUNT times (500 unless given) in one process under Wine, and prints how
# many faults any thread met and how many cycles failed. Needs the Windows build
# (scripts/build-windows.sh) and a free port 4444; exits non-zero on any fault or failure.
set -euo pipefail
cd "$(dirname "$0")/.."
COUNT=${1:-500}
BUILD=$PWD/build/windows
HOST=$BUILD/bin/abi_msvc_host.exe
if [ ! -f "$HOST" ]; then
  echo "unload-cycles: $HOST is missing; run scripts/build-windows.sh first" >&2
  exit 1
fi
export WINEPREFIX=$PWD/build/windows-wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 </dev/null
  wineserver -w
fi
wine "$HOST" cycles "$BUILD/bin/HVEOBSRemote.dll" "$COUNT"
