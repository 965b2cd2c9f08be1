#!/usr/bin/env bash
# Runs the installer's test (msi_tests.exe) in a throwaway Wine prefix, so
# installing and uninstalling never touch the prefix the other tests share.
# Arguments: the installer, the test executable, the Wine loader.
set -euo pipefail
msi=$1 test_exe=$2 loader=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

[ -f "$msi" ] || { echo "msi-test: $msi is missing: run bash scripts/package.sh first" >&2; exit 1; }
work=$(mktemp -d "$root/build/msi-test.XXXXXX")
export WINEPREFIX="$work/prefix"
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A higher version of the very same files, for the upgrade.
version=$(sed -n 's/.*-\([0-9][0-9.]*\)-win32\.msi$/\1/p' <<<"$msi")
upgrade_version="${version%.*}.$(( ${version##*.} + 1 ))"
bash "$root/scripts/make-msi.sh" "$(dirname "$msi")/stage" "$upgrade_version" "$work/upgrade.msi" >/dev/null

bash "$root/scripts/wine-prefix.sh" "$WINEPREFIX"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER="$loader"
export VCAM_MSI="Z:${msi//\//\\}" VCAM_MSI_UPGRADE="Z:${work//\//\\}\\upgrade.msi"
export VCAM_VERSION=$version VCAM_UPGRADE_VERSION=$upgrade_version
status=0
"$loader" "$test_exe" || status=$?
wineserver -w
exit $status
