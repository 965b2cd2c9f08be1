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

source scripts/wine-session.sh
ctest --preset win64 || status=1
exit $status
