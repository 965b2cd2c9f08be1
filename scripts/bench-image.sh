#!/usr/bin/env bash
# Benchmarks the image kernels on this machine against libyuv, libswscale and
# memcpy, and ends with a table of ratios measured in the same run (times are
# medians of processor time; the repetitions of all routines are interleaved
# at random, so a load that comes and goes on the machine is spread over all
# of them instead of falling on one). Extra arguments go to Google Benchmark,
# for example --benchmark_filter=resize or --benchmark_repetitions=9.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake --preset native >/dev/null
cmake --build --preset native --target image_bench
exec build/native/image_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true "$@"
