#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for FUZZ_SECONDS (default 60) on its corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build="$root/build-fuzz"
testdata="${QV_TESTDATA_DIR:-$root/../shared/testdata}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DQV_BUILD_FUZZ=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF -DQV_BUILD_GUI=OFF >/dev/null
targets=${FUZZ_TARGETS:-$(sed -n 's/^quenvale_fuzz(\([a-z_0-9]*\).*/\1/p' "$root/fuzz/CMakeLists.txt")}
cmake --build "$build" -j "$(nproc)" --target $targets
for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  case "$target" in
    fuzz_bmp) seeds=("$testdata/bmpsuite" "$testdata/bmp-bad-derived" "$testdata/bmp-extra") ;;
    fuzz_png) seeds=("$testdata/pngsuite" "$testdata/png-bad") ;;
    fuzz_jpeg) seeds=("$testdata/jpeg") ;;
  esac
  dict=()
  [ -f "$testdata/fuzz-dicts/${target#fuzz_}.dict" ] && dict=(-dict="$testdata/fuzz-dicts/${target#fuzz_}.dict")
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  echo "== $target: ${seconds}s"
  (cd "$build" && "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
     -timeout=10 -print_final_stats=1 "${dict[@]}" "$corpus" "${existing[@]}")
done
