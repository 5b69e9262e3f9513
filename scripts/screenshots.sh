#!/usr/bin/env bash
# Takes the screenshots of docs/screenshots in English (C.UTF-8) and of docs/screenshots/ja in
# Japanese (ja_JP.UTF-8): the windows with gui_screenshots under xvfb-run, a drop on a real X
# server with scripts/xdnd_check.sh (the drag hovering, the progress in the title, the error box
# naming the damaged file), cropped to the window's corner of the screen.
#   scripts/screenshots.sh [BUILD_DIR]   (after: cmake --build BUILD_DIR --target quenvale
#                                         quenvale-cli drag_source gui_screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT

for language in en ja; do
  if [ "$language" = en ]; then
    locale=C.UTF-8 out="$root/docs/screenshots"
  else
    locale=ja_JP.UTF-8 out="$root/docs/screenshots/ja"
  fi
  mkdir -p "$out" "$shots/$language"
  LANGUAGE= LC_ALL=$locale xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/gui_screenshots" "$out"
  LANGUAGE= LC_ALL=$locale SHOTS="$shots/$language" "$root/scripts/xdnd_check.sh" "$build"
  for shot in hover progress_title error_box; do
    source="$shots/$language/$shot.png"
    [ "$shot" = hover ] && source="$shots/$language/drag_hover.png"
    convert "$source" -crop "${CROP:-400x130+0+0}" +repage "$out/drop_$shot.png"
  done
done
