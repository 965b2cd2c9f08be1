#!/usr/bin/env bash
# Builds everything and runs every test: the 64-bit build of the product's
# tests under Wine, and the pure image kernels natively under the sanitizers.
# The 32-bit product is built as well, so it always compiles without warnings.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32

cmake --preset win64 >/dev/null
cmake --build --preset win64

status=0
if [ -f cmake/native.cmake ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native
  ctest --preset native || status=1
fi

bash scripts/wine-prefix.sh build/win64/wineprefix
export WINEPREFIX="$PWD/build/win64/wineprefix"
# One warm wineserver for the whole run; each test process then starts in a
# fraction of a second.
wineserver -p 2>/dev/null || true  # already running is fine
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start the prefix's session (services, device host) now, away from CTest:
# started by the first test they would inherit its output pipe and keep it
# open, so CTest would wait for them until the test's time-out.
WINEDEBUG=-all scripts/wine.sh wineboot </dev/null >/dev/null 2>&1 || true
ctest --preset win64 || status=1
exit $status
