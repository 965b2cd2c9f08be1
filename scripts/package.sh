#!/usr/bin/env bash
# Builds the 32-bit program and packs it with its log viewer, its settings
# file and a short text for Windows users, twice, in build/package:
# FrameProvider-<version>-win32.zip (unpack and run) and
# FrameProvider-<version>-win32.msi (a per-machine installer, made with wixl
# from the ZIP's very files, left in build/package/stage).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target frameprovider frameproviderlog
cpack --config build/win32/CPackConfig.cmake -G ZIP -B "$PWD/build/package" >/dev/null

# One version for everything: CMake's project version.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
zip=build/package/FrameProvider-$version-win32.zip
rm -rf build/package/stage build/package/unzip
cmake -E make_directory build/package/unzip
(cd build/package/unzip && cmake -E tar xf "../$(basename "$zip")")
mv "build/package/unzip/FrameProvider-$version-win32" build/package/stage
rm -rf build/package/unzip
bash scripts/make-msi.sh "$PWD/build/package/stage" "$version" \
  "$PWD/build/package/FrameProvider-$version-win32.msi" >/dev/null
ls "$zip" "build/package/FrameProvider-$version-win32.msi"
