#!/usr/bin/env bash
# Builds the benchmarks in Release and runs each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF -DQV_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
for program in "$build"/bin/bench_*; do
  echo "== $(basename "$program")"
  "$program"
done
