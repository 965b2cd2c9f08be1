#!/bin/sh
# Starts Wine with the loader that matches the 64-bit test build. Debian's
# /usr/bin/wine prefers the 32-bit loader whenever wine32 is installed, even
# on machines that cannot execute 32-bit binaries.
export WINELOADER=/usr/lib/wine/wine64
exec /usr/lib/wine/wine64 "$@"
