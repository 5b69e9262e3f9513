#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for FUZZ_SECONDS (default 60) on its corpus.
# FUZZ_TARGETS picks targets (default: every quenvale_fuzz of fuzz/CMakeLists.txt). Crashing
# inputs land in build-fuzz/artifacts/<target>/; the run stops at the first one with status 1.
# FUZZ_TIMEOUT (default 10 s) is the time one input may take before it counts as a hang; raise it
# on a loaded machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build="$root/build-fuzz"
testdata="${QV_TESTDATA_DIR:-$root/tests/data/third_party}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DQV_BUILD_FUZZ=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF -DQV_BUILD_GUI=OFF >/dev/null
targets=${FUZZ_TARGETS:-$(sed -n 's/^ *quenvale_\(plugin_\)\{0,1\}fuzz(\(fuzz_[a-z_0-9]*\).*/\2/p' "$root/fuzz/CMakeLists.txt")}
seed_maker=()
case " $targets " in *" fuzz_gif "* | *" fuzz_tiff "* | *" fuzz_webp "* | *" fuzz_netpbm "* | *" fuzz_pdf_drop "*) seed_maker=(plugin_seeds) ;; esac
case " $targets " in *" fuzz_heif "* | *" fuzz_avif "* | *" fuzz_jxl "*) seed_maker+=(photo_seeds) ;; esac
cmake --build "$build" -j "$(nproc)" --target $targets "${seed_maker[@]}"
# Undefined behaviour is a crash too, not a line in the log.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Little-endian 16-bit value as two raw bytes.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
# Unsigned 32-bit little-endian value at a byte offset of a file.
u32_at() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

# Seeds for the plug-in block target from the BMP suite: the file less its 14-byte file header
# is an information block followed by the pixels, in that target's input layout.
make_spi_seeds() {
  local out=$1 file offset info
  mkdir -p "$out"
  for file in "$testdata"/bmpsuite/g/*.bmp; do
    [ -f "$file" ] || continue
    offset=$(u32_at "$file" 10)
    info=$((offset - 14))
    [ "$info" -ge 40 ] && [ "$info" -lt 65536 ] || continue
    { printf '\x06'; le16 "$info"; tail -c +15 "$file"; } >"$out/$(basename "$file" .bmp)"
  done
}

# Seeds for the INI target: selector bytes (section, key, value) and a small settings file.
make_ini_seeds() {
  local out=$1
  mkdir -p "$out"
  printf '\x00\x00\x01[Options]\nQuality=75\nDir=/tmp\n\n[Files]\nk=1\n' >"$out/plain"
  printf '\x01\x03\x02[options]\r\n  quality = 9 \r\n; note\r\n[a]\r\nk=$FF\r\n' >"$out/crlf"
  printf '\x03\x04\x03[Files]\nk=0x10\n[Files]\nk=2\n[Options]' >"$out/twice"
  printf '\x05\x05\x04\xef\xbb\xbf[\xe8\xa8\xad\xe5\xae\x9a]\n\xe5\x80\xa4=\xe7\x94\xbb\n#x=1\n' >"$out/utf8"
}

# Seeds for the JPEG target: the sample files behind a settings byte (first plain 24-bit
# decoding, then 8-bit, grey, half scale and fast, progressive re-compression).
make_jpeg_seeds() {
  local out=$1 file settings
  mkdir -p "$out"
  for file in $(find "$testdata/jpeg" -name '*.jpg'); do
    for settings in '\x00' '\x5d'; do
      { printf "$settings"; cat "$file"; } >"$out/$(basename "$file" .jpg)-$(printf "$settings" | od -An -tx1 | tr -d ' ')"
    done
  done
}

# Seeds for the plug-in targets and the PDF drop target: small files of each kind made by
# plugin_seeds, and for the PDF drop also the JPEG samples behind a settings byte (one page, then
# two pages after a small first one).
make_plugin_seeds() {
  [ -d "$build/seeds/plugins" ] || "$build/bin/plugin_seeds" "$build/seeds/plugins"
  local file settings
  if [ -d "$testdata/jpeg" ]; then
    for file in $(find "$testdata/jpeg" -name '*.jpg' -size -64k); do
      for settings in '\x00' '\x03'; do
        { printf "$settings"; cat "$file"; } >"$build/seeds/plugins/pdf_drop/$(basename "$file" .jpg)-$(printf "$settings" | od -An -tx1 | tr -d ' ')"
      done
    done
  fi
}

# Seeds for the HEIF, AVIF and JPEG XL targets: small pictures of each kind (colour, alpha, grey,
# 16 bits, a JPEG with an EXIF orientation) encoded by heif-enc, avifenc and cjxl with several
# options, and for HEIF also the layouts heif-enc does not write (photo_seeds heif-layouts). A
# missing encoder leaves its target seeded with what the others made (none: an empty corpus).
make_photo_seeds() {
  local seeds=$build/seeds/photos src
  [ -d "$seeds" ] && return
  src=$seeds/sources
  mkdir -p "$src" "$seeds/heif" "$seeds/avif" "$seeds/jxl"
  "$build/bin/photo_seeds" sources "$src"
  if command -v heif-enc >/dev/null; then
    heif-enc -q 50 "$src/colour.png" -o "$seeds/heif/colour.heic" >/dev/null
    heif-enc -q 50 "$src/alpha.png" -o "$seeds/heif/alpha.heic" >/dev/null
    heif-enc -q 50 "$src/grey.png" -o "$seeds/heif/grey.heic" >/dev/null
    heif-enc -q 50 -b 10 "$src/deep.png" -o "$seeds/heif/ten-bits.heic" >/dev/null
    heif-enc -q 50 "$src/exif.jpg" -o "$seeds/heif/exif.heic" >/dev/null
    heif-enc -q 50 "$src/square.png" -o "$seeds/heif/square.heic" >/dev/null
    "$build/bin/photo_seeds" heif-layouts "$seeds/heif/square.heic" "$seeds/heif"
  else
    echo "fuzz.sh: heif-enc is missing (libheif-examples): no HEIF seeds" >&2
  fi
  if command -v avifenc >/dev/null; then
    avifenc -s 10 "$src/colour.png" "$seeds/avif/colour.avif" >/dev/null
    avifenc -s 10 "$src/alpha.png" "$seeds/avif/alpha.avif" >/dev/null
    avifenc -s 10 -y 400 "$src/grey-alpha.png" "$seeds/avif/grey-alpha.avif" >/dev/null
    avifenc -s 10 -d 10 -y 422 "$src/deep.png" "$seeds/avif/ten-bits-422.avif" >/dev/null
    avifenc -s 10 -d 12 -r limited "$src/deep.png" "$seeds/avif/twelve-bits-limited.avif" >/dev/null
    avifenc -s 10 --irot 1 --imir 0 --crop 2,2,12,8 "$src/colour.png" "$seeds/avif/turned-cropped.avif" >/dev/null
    avifenc -s 10 "$src/exif.jpg" "$seeds/avif/exif.avif" >/dev/null
    avifenc -s 10 --grid 2x2 "$src/large.png" "$seeds/avif/grid.avif" >/dev/null
  else
    echo "fuzz.sh: avifenc is missing (libavif-bin): no AVIF seeds" >&2
  fi
  if command -v cjxl >/dev/null; then
    cjxl "$src/colour.png" "$seeds/jxl/colour.jxl" -d 1 >/dev/null 2>&1
    cjxl "$src/colour.png" "$seeds/jxl/lossless.jxl" -d 0 >/dev/null 2>&1
    cjxl "$src/alpha.png" "$seeds/jxl/alpha.jxl" -d 1 >/dev/null 2>&1
    cjxl "$src/grey-alpha.png" "$seeds/jxl/grey-alpha.jxl" -d 0 >/dev/null 2>&1
    cjxl "$src/deep.png" "$seeds/jxl/sixteen-bits.jxl" -d 0 >/dev/null 2>&1
    cjxl "$src/exif.jpg" "$seeds/jxl/exif-jpeg.jxl" >/dev/null 2>&1
  else
    echo "fuzz.sh: cjxl is missing (libjxl-tools): no JPEG XL seeds" >&2
  fi
}

# Seeds for the EXIF target: the camera files' EXIF blocks (tests/data/camera_exif) behind a
# settings byte that resets the orientation, drops the thumbnail and gives a new size.
make_exif_seeds() {
  local out=$1 file
  mkdir -p "$out"
  for file in "$root"/tests/data/camera_exif/*.jpg; do
    { printf '\x07'; exiftool -b -EXIF "$file"; } >"$out/$(basename "$file" .jpg).bin"
  done
}

status=0
for target in $targets; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  case "$target" in
    fuzz_bmp) seeds=("$testdata/bmpsuite" "$testdata/bmp-bad-derived" "$testdata/bmp-extra") ;;
    fuzz_png) seeds=("$testdata/pngsuite" "$testdata/png-bad") ;;
    fuzz_jpeg) make_jpeg_seeds "$build/seeds/jpeg"; seeds=("$build/seeds/jpeg") ;;
    fuzz_ini) make_ini_seeds "$build/seeds/ini"; seeds=("$build/seeds/ini") ;;
    fuzz_exif) make_exif_seeds "$build/seeds/exif"; seeds=("$build/seeds/exif") ;;
    fuzz_spi_block) make_spi_seeds "$build/seeds/spi_block"; seeds=("$build/seeds/spi_block") ;;
    fuzz_gif | fuzz_tiff | fuzz_webp | fuzz_netpbm | fuzz_pdf_drop)
      make_plugin_seeds; seeds=("$build/seeds/plugins/${target#fuzz_}") ;;
    fuzz_heif | fuzz_avif | fuzz_jxl)
      make_photo_seeds; seeds=("$build/seeds/photos/${target#fuzz_}") ;;
  esac
  dict=()
  dict_name=${target#fuzz_}
  [ "$target" = fuzz_pdf_drop ] && dict_name=jpeg
  [ -f "$testdata/fuzz-dicts/$dict_name.dict" ] && dict=(-dict="$testdata/fuzz-dicts/$dict_name.dict")
  existing=()
  for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
  echo "== $target: ${seconds}s"
  (cd "$build" && "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
     -timeout="${FUZZ_TIMEOUT:-10}" -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" \
     "$corpus" "${existing[@]}") || status=1
done
exit $status
