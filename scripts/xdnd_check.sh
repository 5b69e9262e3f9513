#!/usr/bin/env bash
# Checks drops on a real X server by hand (not a test: it needs Xvfb and xdotool). Starts Xvfb,
# a window manager (twm, when there is one, so windows have title bars), the window with its own
# settings file (PNG at 1600x1200 with Lanczos3 into a folder, so each big input takes a while),
# drag sources (build/bin/drag_source) holding big BMP files, and moves the pointer with xdotool
# as a user drags from a file manager: the first drag is dropped, the second is dropped while
# the first drop converts. Then a drag of plain text is tried, which must be refused, and a drag
# of a damaged file, whose error box must name it. Prints what each drag source was answered and
# which outputs appeared; with SHOTS=DIR it saves screenshots of the screen along the way there.
#   scripts/xdnd_check.sh [BUILD_DIR]     (after: cmake --build BUILD_DIR --target quenvale
#                                          quenvale-cli drag_source)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
display=":${XDND_DISPLAY:-57}"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
if command -v twm >/dev/null; then
  # The X server's built-in "fixed" font: no font package is needed for the title bars.
  printf 'UsePPosition "on"\nRandomPlacement\nNoGrabServer\n' >"$work/twmrc"
  for kind in Title Resize Menu Icon IconManager; do echo "${kind}Font \"fixed\"" >>"$work/twmrc"; done
  twm -f "$work/twmrc" >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
fi

# The program's own copy, so that its settings file (beside it) is a scratch one; it finds the
# build's catalogues at ../share/locale, so it speaks the language of the locale (LC_ALL).
mkdir "$work/bin"
cp "$build/bin/quenvale" "$work/bin/quenvale"
ln -s "$build/share" "$work/share"
"$build/bin/quenvale-cli" --ini "$work/bin/quenvale.ini" --section "$(id -un)" --format png \
  --size 1600x1200 --resample lanczos3 --out "$work/out" --save-settings
python3 - "$work" <<'PY'
import struct, sys
def bmp(path, w, h, salt):
    row = (w * 3 + 3) & ~3
    pixels = bytearray(row * h)
    for y in range(h):
        v = (y * 255 // h + salt) & 255
        pixels[y * row:y * row + w * 3] = bytes([v, 255 - v, (v * 7) & 255]) * w
    head = b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    open(path, 'wb').write(head + info + pixels)
open(f'{sys.argv[1]}/damaged.bmp', 'wb').write(b'BM not really a bitmap')
for name, salt in (('first1', 0), ('first2', 40), ('first3', 80), ('second1', 120), ('second2', 160)):
    bmp(f'{sys.argv[1]}/{name}.bmp', 2400, 1800, salt)
PY

"$work/bin/quenvale" >"$work/quenvale.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 20 "$work"/first{1,2,3}.bmp >"$work/drag1.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 140 "$work"/second{1,2}.bmp >"$work/drag2.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 260 >"$work/drag3.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 380 "$work/damaged.bmp" >"$work/drag4.log" 2>&1 &
pids+=($!)
sleep 2

shot() { if [ -n "${SHOTS:-}" ]; then import -window root "$SHOTS/$1"; fi; }
# Press on the source, move in steps onto the window (at the top-left corner) and release there.
drag() {
  local x=$1 y=$2 name=${3:-}
  xdotool mousemove "$x" "$y" mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((x - (x - 50) * step / 8)) $((y - (y - 60) * step / 8))
    sleep 0.1
  done
  sleep 0.3
  if [ -n "$name" ]; then shot "$name"; fi
  xdotool mouseup 1
}

# The first drag after the server starts is sometimes lost by the drag source itself: one of
# plain text first (refused either way).
drag 340 290
drag 340 50 drag_hover.png
sleep 1.5
shot progress_title.png
drag 340 170
drag 340 290 drag_refused.png
for _ in $(seq 120); do
  [ "$(ls "$work/out" 2>/dev/null | wc -l)" -ge 5 ] && break
  sleep 0.5
done
sleep 1
shot after_drops.png
drag 340 410
sleep 2
shot error_box.png
xdotool key Return
sleep 0.5
# The first files again: their outputs exist now, so all are passed over and the note says so.
drag 340 50
for _ in $(seq 20); do sleep 0.5; done
shot passed_over_note.png
result() { grep -v XDG_RUNTIME_DIR "$1" | tr '\n' ' '; }
echo "first drag:   $(result "$work/drag1.log")"
echo "second drag:  $(result "$work/drag2.log")"
echo "text drags:   $(result "$work/drag3.log")"
echo "damaged drag: $(result "$work/drag4.log")"
echo "outputs:      $(ls "$work/out" 2>/dev/null | tr '\n' ' ')"
