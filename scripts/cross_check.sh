#!/usr/bin/env bash
# Cross-compiles the core libraries, quenvale-cli, the shipped plug-ins and the core test
# programs (everything that needs no display and no Qt) for 64-bit Arm, and runs the tests under
# qemu-aarch64-static: the program must build for and give the same bytes on a processor without
# any of the x86 forms, with long double of another format. Not part of `make test` (it takes a
# while); `make cross-check` runs it.
#
#   scripts/cross_check.sh [BUILD_FOLDER]     (default build-aarch64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-aarch64}
# Parallel jobs for the build and the tests (JOBS, as the Makefile passes it).
jobs=${JOBS:-$(nproc)}

for tool in aarch64-linux-gnu-g++ qemu-aarch64-static; do
  if ! command -v "$tool" >/dev/null; then
    echo "cross_check: $tool is missing (scripts/setup.sh --cross installs it)" >&2
    exit 2
  fi
done
for library in libc6 zlib1g-dev libjpeg62-turbo-dev libexif-dev liblcms2-dev libwebp-dev libavif-dev \
  libpng-dev libgtest-dev libgmock-dev libgif-dev libtiff-dev libheif-dev libjxl-dev; do
  if ! dpkg-query -W -f='${Status}' "$library:arm64" 2>/dev/null | grep -q "install ok installed"; then
    echo "cross_check: $library:arm64 is missing (scripts/setup.sh --cross installs it)" >&2
    exit 2
  fi
done

start=$(date +%s)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_GUI=OFF -DQV_BUILD_BENCH=OFF \
  -DQV_BUILD_MANUAL=OFF >/dev/null
cmake --build "$build" -j "$jobs"
built=$(date +%s)

# Programs the tests start themselves (quenvale-cli) run through the same emulator.
# (With the multiarch C library's own loader: see cmake/aarch64-linux-gnu.cmake.)
export QV_TEST_EMULATOR="/usr/bin/qemu-aarch64-static"
# The package test builds and inspects an arm64 .deb with the host's tools: not a test of the
# program's bytes.
# A test that hangs fails after two minutes instead of CTest's ten.
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 120 -E '^deb_package')
end=$(date +%s)
echo "cross_check: built in $((built - start)) s, tests passed in $((end - built)) s under qemu"
