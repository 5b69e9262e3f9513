#!/usr/bin/env bash
# deb_install_test.sh BUILD_DIR APP_ID PACKAGE_DIR
# Builds the Debian package of the build into PACKAGE_DIR, checks its fields and contents,
# unpacks it into a scratch root with dpkg -x and runs the unpacked quenvale-cli there: a GIF
# must convert (the plug-ins are found relative to the executable, not at a path fixed at build
# time) and the settings must go to $XDG_CONFIG_HOME, never beside the unpacked programs. The
# unpacked window, started with a file, converts it with those settings. The menu entry carries
# the application id and makes Quenvale no picture type's default opener.
set -euo pipefail
build=$1
app_id=$2
package=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$package"
if ! cpack --config "$build/CPackConfig.cmake" -B "$package" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack"
fi
debs=("$package"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}

# Library dependencies come from the programs and from every plug-in.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6 zlib1g libjpeg62-turbo libexif12 libqt6widgets6 libgif7 libtiff6 libwebp7; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -q "fonts-ipafont-gothic" <<<"$(dpkg-deb --field "$deb" Recommends)" || fail "no CJK font in Recommends"
# The plug-ins a build has only where their library was found: each brings its library along.
photo_plugins=()
for pair in ifheif.spi:libheif1 ifavif.spi:libavif15 ifjxl.spi:libjxl0.7; do
  plugin=${pair%%:*} library=${pair#*:}
  [ -f "$build/bin/$plugin" ] || continue
  photo_plugins+=("$plugin")
  grep -q "\b${library//./\\.}\b" <<<"$depends" || fail "Depends lacks $library for $plugin: $depends"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in ./usr/bin/quenvale ./usr/bin/quenvale-cli ./usr/lib/quenvale/plugins/ifgif.spi \
    "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml" \
    ./usr/share/man/man1/quenvale.1.gz ./usr/share/man/man1/quenvale-cli.1.gz \
    ./usr/share/quenvale/manual/quenvale.pdf ./usr/share/quenvale/manual/quenvale.html \
    ./usr/share/doc/quenvale/copyright ./usr/share/doc/quenvale/changelog.gz; do
  grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
for plugin in "${photo_plugins[@]}"; do
  grep -qx -- "./usr/lib/quenvale/plugins/$plugin" <<<"$contents" || fail "the package lacks $plugin"
done

# The icon, once the source has one.
if [ -f "$(dirname "$0")/../../data/icons/quenvale.svg" ]; then
  for file in "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
      "./usr/share/icons/hicolor/48x48/apps/$app_id.png"; do
    grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
  done
fi

root=$scratch/root
dpkg -x "$deb" "$root"

# The menu entry never makes Quenvale the default opener of a picture type (a double-click must
# not convert), also where no other program claims the type: no MIME type it lists, no mailcap
# entry, and xdg-mime, asked with the unpacked tree as the only data folder, finds no default.
desktop=$root/usr/share/applications/$app_id.desktop
grep -q '^StartupWMClass='"$app_id"'$' "$desktop" || fail "StartupWMClass is not $app_id"
grep -q '^Icon='"$app_id"'$' "$desktop" || fail "the icon is not named $app_id"
! grep -q '^MimeType=' "$desktop" || fail "the menu entry lists MIME types: $(grep '^MimeType=' "$desktop")"
[ ! -e "$root/usr/lib/mime/packages" ] || fail "the package has mailcap entries"
if command -v xdg-mime >/dev/null && command -v update-desktop-database >/dev/null; then
  mkdir -p "$scratch/share"
  cp -r "$root/usr/share/applications" "$scratch/share/"
  update-desktop-database "$scratch/share/applications"
  for type in image/webp image/png image/jpeg; do
    default=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
      XDG_DATA_HOME="$scratch/data" XDG_DATA_DIRS="$scratch/share" \
      XDG_CONFIG_HOME="$scratch/config" XDG_CONFIG_DIRS="$scratch/etc" xdg-mime query default "$type")
    [ -z "$default" ] || fail "xdg-mime makes $default the default for $type"
  done
fi
cli=$root/usr/bin/quenvale-cli
export XDG_CONFIG_HOME=$scratch/config HOME=$scratch/home
mkdir -p "$scratch/in" "$HOME"
# A 3 x 2 GIF of four colours.
base64 -d >"$scratch/in/colours.gif" <<<"R0lGODlhAwACAPEAAP8AAAD/AAAA/wAAACH5BAAAAAAALAAAAAADAAIAAAIDFA5RADs="

"$cli" --quiet --format png "$scratch/in/colours.gif" || fail "the unpacked quenvale-cli failed"
[ -f "$scratch/in/colours.png" ] || fail "the GIF was passed over: no plug-in found"
pngcheck "$scratch/in/colours.png" | grep -q "(3x2, " || fail "$(pngcheck "$scratch/in/colours.png")"
# A HEIC made by libheif's own encoder, where the HEIF plug-in and the encoder are there.
if [[ " ${photo_plugins[*]} " == *" ifheif.spi "* ]] && command -v heif-enc >/dev/null; then
  heif-enc -q 50 -o "$scratch/in/photo.heic" "$scratch/in/colours.png" >/dev/null ||
    fail "heif-enc could not make a HEIC"
  "$cli" --quiet --format png "$scratch/in/photo.heic" || fail "the unpacked quenvale-cli failed on a HEIC"
  pngcheck "$scratch/in/photo.png" | grep -q "(3x2, " || fail "the HEIC was not converted"
fi

# Settings: per user, even when (as root) the unpacked bin/ could be written.
ini=$XDG_CONFIG_HOME/quenvale/quenvale.ini
grep -qx "# ini: $ini" <<<"$("$cli" --show-settings)" || fail "settings file: $("$cli" --show-settings | head -1)"
"$cli" --set JPEGQL=70 --save-settings
grep -q "^JPEGQL=70" "$ini" || fail "--save-settings did not write $ini"

# The unpacked window converts the files named on its command line as one drop, with the stored
# settings, and stays open.
"$cli" --set FileFormat=1 --save-settings
QT_QPA_PLATFORM=offscreen "$root/usr/bin/quenvale" "$scratch/in/colours.gif" 2>"$scratch/gui.log" &
gui=$!
for _ in $(seq 150); do
  [ -s "$scratch/in/colours.jpg" ] && break
  sleep 0.2
done
sleep 0.5
kill -0 "$gui" 2>/dev/null || { cat "$scratch/gui.log" >&2; fail "the window did not stay open"; }
kill "$gui"
wait "$gui" 2>/dev/null || true
[ -s "$scratch/in/colours.jpg" ] || { cat "$scratch/gui.log" >&2; fail "the window did not convert its start-up file"; }

written=$(find "$root" -newer "$deb" -type f)
[ -z "$written" ] || fail "files written into the unpacked tree: $written"

echo "ok: $(basename "$deb")"
