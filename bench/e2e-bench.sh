#!/usr/bin/env bash
# End-to-end benchmark: the whole host under Wine over the simulated driver
# and a 30 fps MJPG webcam at 1280 x 720, serving YUY2 1280 x 720, NV12
# 640 x 480 and MJPG 1280 x 720 for 20 seconds. The simulator's table gives
# frames per second and latency percentiles per request, and its last lines
# the process CPU time per delivered frame, in all and of the product alone
# (less what the simulated webcam, the test decoder and the simulator spend).
# Not part of the test command.
#
#   bash bench/e2e-bench.sh                      # this work tree
#   bash bench/e2e-bench.sh --against main~3     # and a commit, then ratios
#   bash bench/e2e-bench.sh --against main --rounds 2
#
# With --against, the commit is built in its own work tree
# (build/e2e-baseline) and both simulators run in turns, so machine load
# weighs on both alike; the closing table gives this tree's figures over the
# commit's (below 1 is better for CPU and latency).
set -euo pipefail
cd "$(dirname "$0")/.."

against=""
rounds=1
while [ $# -gt 0 ]; do
  case "$1" in
    --against) against="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    *) echo "usage: bash bench/e2e-bench.sh [--against COMMIT] [--rounds N]" >&2; exit 2 ;;
  esac
done

mkdir -p build
scenario="$PWD/build/e2e-bench-scenario.txt"
cat > "$scenario" <<'SCENARIO'
webcam MJPG 1280 720 30
client YUY2 1280 720 viewer.exe 0.5 20.5
client NV12 640 480 meeting.exe 0.5 20.5
client MJPG 1280 720 recorder.exe 0.5 20.5
duration 21
SCENARIO

if [ -z "$against" ]; then
  exec bash scripts/run-simulator.sh --scenario "$scenario" --output build/e2e-bench-output
fi

bash scripts/bootstrap.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target simulator

baseline="$PWD/build/e2e-baseline"
commit=$(git rev-parse --verify "$against^{commit}")
if [ ! -e "$baseline/.git" ]; then
  git worktree add --detach "$baseline" "$commit" >/dev/null
else
  git -C "$baseline" checkout --detach --quiet "$commit"
fi
(cd "$baseline" && cmake --preset win64 >/dev/null && cmake --build --preset win64 --target simulator)

source scripts/wine-session.sh

# One run: the simulator's summary reduced to "cpu_ms_per_frame fps lat_mean
# lat_p50 lat_p99 product_cpu_ms_per_frame", averaged over the requests; a
# simulator too old to tell the product's share gives "na" for it.
run_once() {
  local exe="$1" out="$2"
  WINEDEBUG=-all build/win64/wine-run.sh "$exe" --scenario "$scenario" --output "$out" \
    </dev/null >"$out.log" 2>&1 || { echo "the run failed, see $out.log" >&2; return 1; }
  awk '
    /^[0-9]+ +(YUY2|NV12|MJPG) / {
      n++; fps += $6; mean += $7; p50 += $9; p99 += $11
    }
    /^Process CPU time:/ { for (i = 1; i <= NF; i++) if ($i == "per") cpu = $(i - 2) }
    /^Product alone:/ { product = $3 }
    END {
      if (n == 0 || cpu == "") exit 1
      printf "%s %.2f %.2f %.2f %.2f %s\n", cpu, fps / n, mean / n, p50 / n, p99 / n, (product == "" ? "na" : product)
    }
  ' "$out.log"
}

results="build/e2e-bench-runs.txt"
: > "$results"
for round in $(seq 1 "$rounds"); do
  for side in this baseline; do
    if [ "$side" = this ]; then exe=build/win64/tools/simulator.exe; else exe="$baseline/build/win64/tools/simulator.exe"; fi
    echo "round $round: $side" >&2
    echo "$side $(run_once "$exe" "build/e2e-bench-$side")" >> "$results"
  done
done

awk -v commit="$against" '
  {
    n[$1]++
    for (i = 2; i <= 7; i++) { if ($i == "na") missing[$1, i] = 1; else sum[$1, i] += $i }
  }
  END {
    split("CPU ms per frame|frames per second|latency mean ms|latency median ms|latency p99 ms|product CPU ms/frame", name, "|")
    printf "\n%-20s %12s %12s %8s\n", "(mean of requests)", "this tree", commit, "ratio"
    for (i = 2; i <= 7; i++) {
      a = sum["this", i] / n["this"]; b = sum["baseline", i] / n["baseline"]
      sa = missing["this", i] ? "-" : sprintf("%.2f", a)
      sb = missing["baseline", i] ? "-" : sprintf("%.2f", b)
      r = (missing["this", i] || missing["baseline", i] || b <= 0) ? "-" : sprintf("%.3f", a / b)
      printf "%-20s %12s %12s %8s\n", name[i - 1], sa, sb, r
    }
  }
' "$results"
