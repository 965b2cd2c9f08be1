#!/usr/bin/env bash
# Builds the 32-bit program and packs it with its settings file and a short
# text for Windows users into build/package/FrameProvider-<version>-win32.zip.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target frameprovider
cpack --config build/win32/CPackConfig.cmake -G ZIP -B "$PWD/build/package" >/dev/null
ls build/package/*.zip
