#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: packages already present are left alone and apt is not touched.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 wine32:i386
  googletest libgtest-dev libbenchmark-dev
  libyuv-dev libswscale-dev libavutil-dev
  imagemagick libjpeg-turbo-progs fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A mirror mid-sync fails one index now and then; retry, then go on with
  # whatever indexes did arrive, since install reports what is truly missing.
  for attempt in 1 2 3; do
    apt-get update -qq && break
    echo "bootstrap: apt-get update failed (attempt $attempt)" >&2
    sleep $((attempt * 5))
  done
  required=()
  for p in "${missing[@]}"; do
    [ "$p" = wine32:i386 ] || required+=("$p")
  done
  if [ ${#required[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${required[@]}" >/dev/null
  fi
  # The 32-bit loader needs i386 libraries at the very versions of the amd64
  # ones, which a lagging mirror may not offer yet; without it the 32-bit
  # tests are built but not run, so it must not stop the rest.
  if [ ${#required[@]} -lt ${#missing[@]} ]; then
    apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
      echo "bootstrap: wine32:i386 could not be installed; the 32-bit tests will not run" >&2
  fi
fi
