#!/usr/bin/env bash
# Times one 1280 x 720 YUY2 frame through the delivery thread to four requests
# under Wine, with the split by step. Run after the test command has built.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset win64 --target delivery_bench >/dev/null
bash scripts/wine-prefix.sh build/win64/wineprefix
exec build/win64/wine-run.sh build/win64/tests/delivery_bench.exe "$@"
