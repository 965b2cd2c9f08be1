#!/usr/bin/env bash
# Creates (once) the private Wine prefix given as $1, with the null graphics
# driver so hidden windows and timers work without a display.
set -euo pipefail
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")" && pwd)
stamp="$WINEPREFIX/.vcam-prefix-ready"
# A prefix made while the 32-bit loader was missing has no 32-bit system (every
# 32-bit program then fails with "could not load kernel32.dll"), and Wine's
# update (wineboot -u) does not add it: once the loader runs, the prefix is
# made anew. It holds nothing but what the tests and this script put there.
if [ -f "$stamp" ] && /usr/lib/wine/wine --version >/dev/null 2>&1 &&
   [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "wine-prefix: $WINEPREFIX has no 32-bit system; making it anew" >&2
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  find "$WINEPREFIX" -mindepth 1 -delete
fi
if [ ! -f "$stamp" ]; then
  "$here/wine.sh" wineboot -i >/dev/null 2>&1 || true
  "$here/wine.sh" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$stamp"
fi
# A program that crashes ends at once, with Wine's line naming the fault and
# the address, instead of waiting for a debugger that never comes back here
# (the test would only fail at its time-out, saying nothing).
no_debugger="$WINEPREFIX/.vcam-no-debugger"
if [ ! -f "$no_debugger" ]; then
  "$here/wine.sh" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d 'cmd.exe /c rem' /f >/dev/null 2>&1
  touch "$no_debugger"
fi
