#!/usr/bin/env bash
# Builds everything and runs every test: the product's tests built for 32-bit
# and 64-bit Windows and run under Wine (the 32-bit ones where this machine
# can execute 32-bit programs), the package's check, and the pure image
# kernels natively under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

bash scripts/bootstrap.sh
bash scripts/check-format.sh

# The shipped width, tests included, so a calling-convention or pointer-size
# mistake stops the build on every machine.
cmake --preset win32 >/dev/null
cmake --build --preset win32
bash scripts/package.sh >/dev/null

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
# Some machines cannot execute 32-bit programs at all (Exec format error);
# the 32-bit Wine loader tells.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ctest --preset win32 || status=1
else
  echo "test: this machine cannot execute 32-bit programs; the 32-bit tests were built but not run"
fi
echo "test: $((SECONDS - started)) s"
exit $status
