#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: packages already present are left alone and apt is not touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 wixl msitools
  googletest libgtest-dev libbenchmark-dev
  libyuv-dev libswscale-dev libavutil-dev
  imagemagick libjpeg-turbo-progs fonts-dejavu-core
  clang-format
)

# A failed 32-bit install is remembered for an hour, so the scripts that call
# the bootstrap one after another (the test command, the package script, the
# main job) do not each wait for the same broken index again.
wine32_stamp="$root/build/.bootstrap-wine32-failed"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

want_wine32=no
required=()
for p in ${missing[@]+"${missing[@]}"}; do
  if [ "$p" = wine32:i386 ]; then
    if [ -n "$(find "$wine32_stamp" -mmin -60 2>/dev/null)" ]; then
      echo "bootstrap: wine32:i386 failed to install less than an hour ago ($wine32_stamp); not tried again" >&2
    else
      want_wine32=yes
    fi
  else
    required+=("$p")
  fi
done
[ ${#required[@]} -gt 0 ] || [ $want_wine32 = yes ] || exit 0

# Prints, for every i386 package that wine32:i386 needs whose amd64 twin is
# installed at a version the i386 side does not offer as its candidate,
# "name:amd64=V name:i386=V" with V the i386 candidate: a "Multi-Arch: same"
# package must have one version on both sides (the others, such as dpkg, are
# never twinned). Only the loader's dependencies
# are looked at, so packages it does not need keep their versions.
i386_twins() {
  local deps
  deps=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
           --no-breaks --no-replaces --no-enhances wine32:i386 |
         sed -n 's/^\([^ <][^ ]*\):i386$/\1/p' | sort -u)
  [ -n "$deps" ] || return 0
  # shellcheck disable=SC2086
  LC_ALL=C join <(dpkg-query -W -f='${Package} ${Architecture} ${Version} ${db:Status-Abbrev} ${Multi-Arch}\n' $deps 2>/dev/null |
           awk '$2 == "amd64" && $4 ~ /^ii/ && $5 == "same" { print $1, $3 }' | LC_ALL=C sort) \
       <(apt-cache policy $(sed 's/$/:i386/' <<<"$deps") |
           awk '/^[^ ]/ { p = $1; sub(/:i386:$/, "", p) }
                /^  Candidate:/ && $2 != "(none)" { print p, $2 }' | LC_ALL=C sort) |
    awk '$2 != $3 { printf "%s:amd64=%s %s:i386=%s\n", $1, $3, $1, $3 }'
}

# The recipe for a mirror whose i386 security index lags behind the amd64
# one: the security suite pinned below the main suite for the duration, the
# amd64 packages moved to the main suite's point release, and the loader
# installed together with the twins it needs at their i386 versions.
install_wine32_pinned() (
  local pin=/etc/apt/preferences.d/vcam-security-below-main
  trap 'rm -f "$pin"' EXIT
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 90\n' >"$pin"
  # Called inside a condition, where errexit does not apply: each step checks.
  apt-get dist-upgrade -y -qq >/dev/null || return 1
  local twins
  twins=$(i386_twins) || return 1
  echo "bootstrap: installing wine32:i386 with the security suite pinned below the main suite," \
       "after a dist-upgrade, with these at their i386 versions: $(echo ${twins:-none})" >&2
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends --allow-downgrades wine32:i386 $twins >/dev/null || return 1
)

listed=${required[*]-}
[ $want_wine32 = no ] || listed="$listed wine32:i386"
echo "bootstrap: installing ${listed# }"
export DEBIAN_FRONTEND=noninteractive
# A mirror mid-sync fails one index now and then; retry, then go on with
# whatever indexes did arrive, since install reports what is truly missing.
for attempt in 1 2 3; do
  apt-get update -qq && break
  echo "bootstrap: apt-get update failed (attempt $attempt)" >&2
  [ $attempt = 3 ] || sleep $((attempt * 5))
done
if [ ${#required[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${required[@]}" >/dev/null
fi
# The 32-bit loader needs i386 libraries at the very versions of the amd64
# ones, which a lagging mirror may not offer; without it the 32-bit tests
# are built but not run, so it must not stop the rest.
if [ $want_wine32 = yes ]; then
  if apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
    rm -f "$wine32_stamp"
  elif echo "bootstrap: the plain install of wine32:i386 failed; trying the pinned recipe" >&2 &&
       install_wine32_pinned; then
    rm -f "$wine32_stamp"
    echo "bootstrap: wine32:i386 installed by the pinned recipe" >&2
  else
    mkdir -p "$(dirname "$wine32_stamp")"
    date >"$wine32_stamp"
    echo "bootstrap: wine32:i386 could not be installed; the 32-bit tests will not run" >&2
  fi
fi
