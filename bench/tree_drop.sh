#!/bin/bash
# A dropped tree of 10,000 small pictures (100 folders of 100 16x16 BMPs) converted to PNG with
# -r, mirrored below an output folder: the seconds to the first output (the walk is streamed, so
# it comes before the tree is listed) and to the end, for -j 1 and -j 2, the two alternating run
# by run. Prints a table for bench/results.md.
#
# Environment: QV_CLI (default build/bin/quenvale-cli), RUNS (default 3), QV_TREE (where the tree
# is made once, default build/tree10k).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${QV_CLI:-$root/build/bin/quenvale-cli}
runs=${RUNS:-3}
tree=${QV_TREE:-$root/build/tree10k}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -d "$tree" ]; then
  python3 - "$tree" <<'PY'
import os, struct, sys
root = sys.argv[1]
def bmp(colour):
    row = bytes(colour) * 16
    data = row * 16
    return (b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(data), 2835, 2835, 0, 0) + data)
for d in range(100):
    os.makedirs(f"{root}/d{d:03}", exist_ok=True)
    for f in range(100):
        with open(f"{root}/d{d:03}/p{f:03}.bmp", "wb") as out:
            out.write(bmp((d, f, 7)))
PY
fi

now() { date +%s.%N; }
# One run: prints "first total" in seconds.
run() {
  local jobs=$1 out=$work/out start first pid
  rm -rf "$out" && mkdir -p "$out"
  start=$(now)
  "$cli" --ini "$work/settings.ini" --quiet -r --format png --out "$out" -j "$jobs" "$tree" &
  pid=$!
  until [ -n "$(find "$out" -name '*.png' -print -quit)" ] || ! kill -0 "$pid" 2>/dev/null; do
    sleep 0.002
  done
  first=$(now)
  wait "$pid"
  echo "$(echo "$first - $start" | bc) $(echo "$(now) - $start" | bc)"
}

declare -A firsts totals
for ((i = 0; i < runs; i++)); do
  for jobs in 1 2; do
    read -r first total < <(run "$jobs")
    firsts[$jobs]+="$first "
    totals[$jobs]+="$total "
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "| 10,000 files in 100 folders, -r to PNG | first output, s | all, s |"
echo "|---|---|---|"
for jobs in 1 2; do
  printf '| -j %s | %.3f | %.2f |\n' "$jobs" "$(echo "${firsts[$jobs]}" | median)" \
    "$(echo "${totals[$jobs]}" | median)"
done
