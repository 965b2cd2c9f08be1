#!/usr/bin/env bash
# End-to-end benchmark: the whole host under Wine over the simulated driver
# and a 30 fps MJPG webcam at 1280 x 720, serving YUY2 1280 x 720, NV12
# 640 x 480 and MJPG 1280 x 720 for 20 seconds. The simulator's table gives
# frames per second and latency percentiles per request, and its last lines
# the process CPU time per delivered frame. Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
cat > build/e2e-bench-scenario.txt <<'SCENARIO'
webcam MJPG 1280 720 30
client YUY2 1280 720 viewer.exe 0.5 20.5
client NV12 640 480 meeting.exe 0.5 20.5
client MJPG 1280 720 recorder.exe 0.5 20.5
duration 21
SCENARIO
bash scripts/run-simulator.sh --scenario build/e2e-bench-scenario.txt --output build/e2e-bench-output "$@"
