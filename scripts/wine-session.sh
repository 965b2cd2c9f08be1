# Sourced, from the repository's root, by the scripts that run the Windows
# build under Wine: the build tree's private prefix, one warm wineserver for
# the whole run (each program then starts in a fraction of a second), stopped
# when the calling script exits, and the prefix's session (services, device
# host) started up front. Started by the first program instead, they would
# inherit its output pipe and keep it open, so CTest would wait for them
# until that test's time-out.
bash scripts/wine-prefix.sh build/win64/wineprefix
export WINEPREFIX="$PWD/build/win64/wineprefix"
wineserver -p 2>/dev/null || true  # already running is fine
trap 'wineserver -k 2>/dev/null || true' EXIT
WINEDEBUG=-all scripts/wine.sh wineboot </dev/null >/dev/null 2>&1 || true
