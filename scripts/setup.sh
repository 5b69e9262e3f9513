#!/usr/bin/env bash
# Installs every build and test dependency that is missing. Idempotent and quiet when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libjpeg62-turbo-dev
  libexif-dev liblcms2-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgif-dev libtiff-dev libwebp-dev libheif-dev libavif-dev libjxl-dev
  libpng-dev pngcheck libjpeg-turbo-progs qpdf poppler-utils
  python3-pil libimage-exiftool-perl webp libheif-examples libavif-bin libjxl-tools
  liblcms2-utils colord-data libgs-common icc-profiles-free
  fonts-ipafont-gothic xvfb xauth xdotool twm
  clang-14 libclang-rt-14-dev clang-format ccache
  locales gettext librsvg2-bin qt6-translations-l10n
  groff desktop-file-utils appstream lintian dpkg-dev fakeroot file
  bindfs xdg-utils
  # A FAT file system in a file, mounted without root's kernel module: the tests of a file
  # system that ignores case and has no unnamed files.
  dosfstools fusefat
)
# The peers bench/compare.sh times ours against; only `make bench` (setup.sh --bench) asks for them.
if [ "${1:-}" = "--bench" ]; then
  packages+=(libvips-tools imagemagick graphicsmagick img2pdf hyperfine)
fi

# The cross toolchain, the emulator and the :arm64 libraries scripts/cross_check.sh builds and
# runs the core tests with; only `make cross-check` (setup.sh --cross) asks for them.
if [ "${1:-}" = "--cross" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    [ "$(id -u)" -ne 0 ] && SUDO_ARCH="sudo" || SUDO_ARCH=""
    $SUDO_ARCH dpkg --add-architecture arm64
  fi
  packages+=(g++-aarch64-linux-gnu qemu-user-static libc6:arm64
    zlib1g-dev:arm64 libjpeg62-turbo-dev:arm64 libexif-dev:arm64 liblcms2-dev:arm64
    libwebp-dev:arm64 libavif-dev:arm64 libpng-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64
    libgif-dev:arm64 libtiff-dev:arm64 libheif-dev:arm64 libjxl-dev:arm64)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq >/dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A decimal-comma locale for the tests that check numbers are written with "." whatever the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
fi
# The Japanese locale the tests run the program's texts in (and the language tests switch to).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 2>/dev/null || true
fi
