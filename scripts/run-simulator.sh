#!/usr/bin/env bash
# The main job: builds what is missing (64-bit, run under Wine), then runs the
# simulator: the whole host against the simulated driver and webcam. Options
# go to the simulator (--scenario FILE, --output FOLDER); pictures and the
# contact sheet land in build/simulator-output unless told otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

cmake --preset win64 >/dev/null
cmake --build --preset win64 --target simulator

bash scripts/wine-prefix.sh build/win64/wineprefix
export WINEPREFIX="$PWD/build/win64/wineprefix"
# One warm wineserver for the run, stopped at the end; the session's services
# start first so the simulator does not wait for them.
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
WINEDEBUG=-all scripts/wine.sh wineboot </dev/null >/dev/null 2>&1 || true
mkdir -p build
WINEDEBUG=-all build/win64/wine-run.sh build/win64/tools/simulator.exe "$@"
