#!/usr/bin/env bash
# Converts the bundled sample images with quenvale-cli and names the folder it wrote.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/bin/quenvale-cli"
out="$root/demo-output"
rm -rf "$out"
mkdir -p "$out"
ini="$out/demo.ini"
samples=("$root"/samples/*.bmp "$root"/samples/*.png "$root"/samples/*.jpg)
run() { "$cli" --ini "$ini" --out "$out/$1" --overwrite "${@:2}" "${samples[@]}"; }
run bmp --format bmp
run png-640x480-lanczos3 --format png --size 640x480 --resample lanczos3
run jpeg-sepia --format jpeg --sepia --quality 90
"$cli" --ini "$ini" --format pdf --pdf "$out/samples.pdf" --overwrite "${samples[@]}"
echo "Demo output written to $out"
ls -R "$out"
