#!/usr/bin/env bash
# Starts Quenvale: the GUI when a display is there, otherwise a demo conversion of the samples.
set -euo pipefail
build=${1:-build}
if [ -x "$build/bin/quenvale" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$build/bin/quenvale"
fi
exec bash "$(dirname "$0")/demo.sh" "$build"
