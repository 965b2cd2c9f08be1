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

source scripts/wine-session.sh
mkdir -p build
WINEDEBUG=-all build/win64/wine-run.sh build/win64/tools/simulator.exe "$@"
