#!/usr/bin/env bash
# Checks drops on a real X server (needs Xvfb and xdotool; CTest runs it as
# xdnd_drops_on_an_x_server when both are installed). Starts Xvfb on a free display, a window
# manager (twm, when there is one, so windows have title bars), the window with its own settings
# file (PNG at 6000x4500 with Lanczos3 and the strongest compression into a folder, so each big
# input takes a while), drag sources (build/bin/drag_source) holding big BMP files, and moves the
# pointer with xdotool as a user drags from a file manager: the first drag is dropped, the second
# is dropped while the first drop converts, and a drag of plain text begins at once after it (on
# X11 the drop's data is then offered by the text drag's source), which must be refused. Then a
# drag of a damaged file, whose error box must name it, the first files again, which are passed
# over, and a folder, whose pictures are converted into a mirrored tree (Recurse is on). Last,
# five files with one damaged and one passed over: after the error box the result list opens by
# itself, and its rows, copied with Ctrl+C (read back with build/bin/clipboard_text), must tell
# each file's outcome in order. Prints what each drag source was answered, which outputs appeared
# and the rows, and fails (status 1) unless the second drop was made while the first converted and
# its files were converted after the first drop's, the text drags were refused and the file drags
# accepted, the folder's tree was mirrored, and the rows are right. The window's class must be the
# application id. With SHOTS=DIR it saves screenshots of the screen along the way there.
#   scripts/xdnd_check.sh [BUILD_DIR]     (after: cmake --build BUILD_DIR --target quenvale
#                                          quenvale-cli drag_source clipboard_text)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and names it (-displayfd), so that checks can run side by side.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
unset QT_QPA_PLATFORM
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
  --size 6000x4500 --resample lanczos3 --png-level 9 --out "$work/out" --recursive --save-settings
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
names = [(f'first{i}', i * 10) for i in range(1, 11)] + [('second1', 120), ('second2', 160)]
for name, salt in names:
    bmp(f'{sys.argv[1]}/{name}.bmp', 2400, 1800, salt)
# A folder with a subfolder, a hidden file and a file no reader takes, dropped whole.
import os
os.makedirs(f'{sys.argv[1]}/album/sub')
bmp(f'{sys.argv[1]}/album/top.bmp', 64, 48, 30)
bmp(f'{sys.argv[1]}/album/sub/inner.bmp', 64, 48, 60)
bmp(f'{sys.argv[1]}/album/.hidden.bmp', 64, 48, 90)
open(f'{sys.argv[1]}/album/notes.txt', 'w').write('not a picture')
for i in range(1, 4):
    bmp(f'{sys.argv[1]}/five{i}.bmp', 64, 48, i * 50)
PY

"$work/bin/quenvale" >"$work/quenvale.log" 2>&1 &
window_pid=$!
pids+=($!)
"$build/bin/drag_source" 300 20 "$work"/first{1,2,3,4,5,6,7,8,9,10}.bmp >"$work/drag1.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 140 "$work"/second{1,2}.bmp >"$work/drag2.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 260 >"$work/drag3.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 300 380 "$work/damaged.bmp" >"$work/drag4.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 420 260 >"$work/warmup.log" 2>&1 &
pids+=($!)
"$build/bin/drag_source" 420 380 "$work/album" >"$work/folder.log" 2>&1 &
pids+=($!)
# Below the window, where the result list (which opens to its right) leaves it uncovered.
"$build/bin/drag_source" 20 400 "$work"/five1.bmp "$work"/first1.bmp "$work"/five2.bmp \
  "$work"/damaged.bmp "$work"/five3.bmp >"$work/drag5.log" 2>&1 &
pids+=($!)
window=
for _ in $(seq 50); do
  window=$(xdotool search --onlyvisible --classname '^quenvale$' 2>/dev/null | head -n 1) &&
    [ -n "$window" ] && break
  sleep 0.1
done
sleep 1.5
# The window starts in the Idle class (SCHED_IDLE), which gets next to no processor while other
# work keeps the cores busy (another test suite beside this one): what is checked here are the
# drops, so the window runs in the normal class, as its menu's "Normal" would set it. Threads it
# starts later inherit the class.
chrt --other --all-tasks --pid 0 "$window_pid" >/dev/null 2>&1 || true

shot() { if [ -n "${SHOTS:-}" ]; then import -window root "$SHOTS/$1"; fi; }
failures=()
# The window's class (WM_CLASS) is the application id, the desktop entry's StartupWMClass, by
# which docks and task bars match the window to its launcher.
app_id=$(sed -n 's/^QV_APP_ID:[A-Z]*=//p' "$build/CMakeCache.txt")
xdotool search --onlyvisible --class "^${app_id//./\\.}\$" 2>/dev/null | grep -qx "$window" ||
  failures+=("the window's class is not the application id $app_id")
# Presses on the source at (X, Y), whose log is LOG, until its drag has begun: a press made while
# the last drag's source still holds the pointer is lost, so it is made again.
press() {
  local x=$1 y=$2 log=$3 before
  before=$(grep -c '^drag started' "$log" || true)
  for _ in 1 2 3 4 5; do
    xdotool mousemove "$x" "$y" mousedown 1
    for _ in $(seq 40); do
      [ "$(grep -c '^drag started' "$log" || true)" -gt "$before" ] && return 0
      sleep 0.05
    done
    xdotool mouseup 1
    sleep 0.3
  done
  failures+=("a press on the source at $x,$y began no drag")
}
# Drags from the source at (X, Y), whose log is LOG (unless the last drag pressed there already),
# in steps onto the window (at its top-left corner) and releases there; the window's title just
# before the release goes to $title_at_drop. With NEXT_X NEXT_Y NEXT_LOG, the next source is
# pressed right after the release, as when a drag begins while the last drop is still being
# answered.
title_at_drop=
pressed=
drag() {
  local x=$1 y=$2 log=$3 name=${4:-} next_x=${5:-} next_y=${6:-} next_log=${7:-}
  if [ "$pressed" != "$x $y" ]; then press "$x" "$y" "$log"; fi
  pressed=
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((x - (x - 50) * step / 8)) $((y - (y - 60) * step / 8))
    sleep 0.1
  done
  sleep 0.3
  if [ -n "$name" ]; then shot "$name"; fi
  title_at_drop=$(xdotool getwindowname "$window")
  xdotool mouseup 1
  if [ -n "$next_x" ]; then
    # (In one command with the release, the press would reach the released drag's source.)
    press "$next_x" "$next_y" "$next_log"
    pressed="$next_x $next_y"
  fi
}

# The first drag after the server starts is sometimes lost by the drag source itself: one of
# plain text first, from a source of its own (refused either way, and not checked).
drag 460 290 "$work/warmup.log"
drag 340 50 "$work/drag1.log" drag_hover.png
# The second drag begins once the first drop converts its first files.
for _ in $(seq 100); do
  [[ "$(xdotool getwindowname "$window")" =~ ^[12]/10\ -\  ]] && break
  sleep 0.1
done
shot progress_title.png
# The text drag begins as the second drag is let go: on X11 the drop's data is fetched from
# whichever program began the latest drag.
drag 340 170 "$work/drag2.log" "" 340 290 "$work/drag3.log"
second_title=$title_at_drop
drag 340 290 "$work/drag3.log" drag_refused.png
# Up to 8 minutes: a sanitizer build on a busy machine takes minutes for the twelve big files.
for _ in $(seq 960); do
  [ "$(ls "$work/out" 2>/dev/null | wc -l)" -ge 12 ] && break
  sleep 0.5
done
sleep 1
shot after_drops.png
# Oldest first.
converted=$(ls -tr "$work/out" 2>/dev/null | tr '\n' ' ' || true)
# The result list (titled "... - Quenvale") that opened by itself, as an X window; none: empty.
result_list() {
  xdotool search --onlyvisible --name ' - Quenvale$' 2>/dev/null | head -n 1 || true
}
# Waits for the result list to open, then gives it the keyboard and presses the keys given.
keys_to_list() {
  local list=
  for _ in $(seq 300); do list=$(result_list); [ -n "$list" ] && break; sleep 0.2; done
  if [ -z "$list" ]; then
    failures+=("the result list did not open by itself")
    return
  fi
  xdotool windowfocus --sync "$list" key "$@"
  sleep 0.5
}
drag 340 410 "$work/drag4.log"
sleep 2
shot error_box.png
xdotool key Return
# After the failure's box the list opens by itself (to the right of the window, over the drag
# sources there): closed again.
keys_to_list Escape
# The first files again: their outputs exist now, so all are passed over and the note says so.
drag 340 50 "$work/drag1.log"
sleep 4
shot passed_over_note.png
keys_to_list Escape
# Waits (up to 4 minutes: a sanitizer build on a busy machine) until the window's title shows no
# drop in progress.
wait_idle() {
  for _ in $(seq 1200); do
    [[ "$(xdotool getwindowname "$window")" =~ ^[0-9]+/[0-9]+\ -\  ]] || return 0
    sleep 0.2
  done
}
# A folder: with Recurse its pictures are converted, mirrored below the output folder, hidden
# names and files no reader takes left out (a clean drop: the list stays closed).
wait_idle
drag 460 410 "$work/folder.log"
for _ in $(seq 960); do
  [ -e "$work/out/album/sub/inner.png" ] && [ -e "$work/out/album/top.png" ] && break
  sleep 0.5
done
sleep 1
shot folder_drop.png
folder=$(cd "$work/out" && find album -type f | sort | tr '\n' ' ')
# Five files, one damaged and one passed over: the drop ends at the damaged one, the rows tell.
wait_idle
drag 60 430 "$work/drag5.log"
for _ in $(seq 60); do
  [ -n "$(xdotool search --onlyvisible --name '^Quenvale$' 2>/dev/null | grep -v "^$window$")" ] &&
    break
  sleep 0.5
done
xdotool key Return
keys_to_list ctrl+c
shot result_list.png
rows=$("$build/bin/clipboard_text" | tail -n 5)
result() { grep '^drag ended' "$1" | tr '\n' ' ' || true; }
echo "first drag:   $(result "$work/drag1.log")"
echo "second drag:  $(result "$work/drag2.log") (title at the drop: $second_title)"
echo "text drags:   $(result "$work/drag3.log")"
echo "damaged drag: $(result "$work/drag4.log")"
echo "outputs:      $converted"
echo "folder drag:  $(result "$work/folder.log") outputs: $folder"
echo "five files:   $(result "$work/drag5.log")"
echo "their rows:"
printf '%s\n' "$rows"

[[ "$second_title" =~ ^[0-9]+/10\ -\  ]] || failures+=("the second drop was not made while the first converted")
# Files converted at once may be written in any order; the second drop's files come after the
# first drop's.
in_order() { tr ' ' '\n' | head -n "$1" | tail -n "$2" | sort -V | tr '\n' ' '; }
[ "$(echo "$converted" | in_order 10 10)$(echo "$converted" | in_order 12 2)" = \
  "$(printf 'first%d.png ' $(seq 10))second1.png second2.png " ] ||
  failures+=("not every file was converted, in the order of the drops")
[ "$(result "$work/drag1.log")" = "drag ended: accepted drag ended: accepted " ] ||
  failures+=("the first drag was not accepted (twice)")
[ "$(result "$work/drag2.log")" = "drag ended: accepted " ] || failures+=("the second drag was not accepted")
[ "$(result "$work/drag3.log")" = "drag ended: refused " ] ||
  failures+=("a text drag was not refused")
[ "$(result "$work/folder.log")" = "drag ended: accepted " ] || failures+=("the folder drag was not accepted")
[ "$folder" = "album/sub/inner.png album/top.png " ] ||
  failures+=("the dropped folder's pictures were not mirrored below the output folder: $folder")
# Each row: file, result, output, time (tab-separated, read with another separator: read joins
# tabs as it joins spaces, and an empty output would vanish), in the language of the locale.
if [[ "${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}" == ja* ]]; then
  said=(変換済み "スキップ: 出力が存在する" 変換済み "失敗: " 未処理)
else
  said=(converted "passed over: output exists" converted "failed: " "not reached")
fi
files=(five1.bmp first1.bmp five2.bmp damaged.bmp five3.bmp)
outputs=(five1.png "" five2.png "" "")
row=0
while IFS='|' read -r file outcome output time; do
  [ "$file" = "$work/${files[$row]}" ] && [[ "$outcome" == "${said[$row]}"* ]] &&
    [ "$output" = "${outputs[$row]:+$work/out/${outputs[$row]}}" ] &&
    { [ "$row" = 4 ] || [ -n "$time" ]; } ||
    failures+=("row $((row + 1)) of the result list is wrong: $file | $outcome | $output | $time")
  row=$((row + 1))
done <<<"$(printf '%s\n' "$rows" | tr '\t' '|')"
[ "$row" = 5 ] || failures+=("the result list copied $row rows of the five files, not 5")
if [ ${#failures[@]} -gt 0 ]; then
  printf 'xdnd check failed: %s\n' "${failures[@]}"
  exit 1
fi
echo "xdnd check passed"
