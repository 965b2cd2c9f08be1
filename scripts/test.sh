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
# The first Wine process of a server starts the prefix's background services,
# which inherit its standard output; started here with nothing attached, they
# cannot keep CTest waiting on the first test's output pipe until its timeout.
WINEDEBUG=-all scripts/wine.sh cmd /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start the prefix's services now, detached from any output: started by the
# first test instead, they would inherit its output pipe and hold CTest on it
# until the test's timeout.
scripts/wine.sh wineboot </dev/null >/dev/null 2>&1 || true
ctest --preset win64 || status=1
exit $status
