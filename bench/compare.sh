#!/usr/bin/env bash
# Times quenvale-cli side by side with the installed peers (libvips' `vips` and `vipsthumbnail`,
# ImageMagick, GraphicsMagick, img2pdf) on a generated corpus of camera-like JPEGs, in one run,
# and writes the table of times and ratios to bench/results.md (the previous table is kept below
# the new one).
#
# One process per file and one thread per process (VIPS_CONCURRENCY, MAGICK_THREAD_LIMIT and
# OMP_NUM_THREADS are 1) unless a row says otherwise; hyperfine runs the tools of one file side
# by side and takes each one's median; a row sums the medians over its files.
#
# Environment: QV_CLI (the program, default build-bench/bin/quenvale-cli), QV_CORPUS (where the
# corpus is made once, default build-bench/corpus), RUNS (runs per tool and file, default 5),
# QV_NOTE (a line on the machine's load, written above the table), QV_ONLY=web (only the rows of
# the WebP and AVIF outputs), QV_ONLY=streaming (only the rows of the resamplers on the 96 MP
# pictures, the default resampler on 12 MP and 2 MP files), QV_ONLY=photos (only the rows of HEIC
# and AVIF inputs, against libheif's heif-convert and libavif's avifdec as well), QV_ONLY=jobs
# (only the rows of the Jobs setting), QV_WINDOW_DROP (the window's drop path, default
# window_drop beside QV_CLI).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${QV_CLI:-$root/build-bench/bin/quenvale-cli}
window_drop=${QV_WINDOW_DROP:-$(dirname "$cli")/window_drop}
corpus=${QV_CORPUS:-$root/build-bench/corpus}
runs=${RUNS:-5}
results=${QV_RESULTS:-$root/bench/results.md}
for tool in hyperfine vips vipsthumbnail gm img2pdf python3 /usr/bin/convert cwebp dwebp avifenc avifdec \
  heif-enc heif-convert; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (make bench installs the peers)" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "compare.sh: no $cli (build it first)" >&2; exit 1; }
export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
magick=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ini=$work/bench.ini
if [ -f "$results" ]; then cp "$results" "$work/old.md"; else printf '# Comparison with peers\n\n' >"$work/old.md"; fi
run_date=$(date -u '+%Y-%m-%d %H:%M UTC')
mem_huge_ours="" mem_huge_vips="" mem_pdf_ours="" mem_pdf_img2pdf="" hundred_bytes=0 png_sizes="" mad=""
mitchell_sizes="" web_sizes="" peaks=""
: >"$ini"
mkdir -p "$work/qv" "$work/out" "$corpus"

# The corpus: three 12 MP and three 2 MP pictures (seeded plasma, softened, with sensor-like
# noise, saved as JPEG q92 with 2x2 chroma subsampling), 24-bit BMP and PNG copies of them, and
# one 96 MP JPEG (11320x8490) enlarged from the first.
make_jpeg() { # name width height seed
  [ -s "$corpus/$1.jpg" ] && return
  "$magick" -seed "$4" -size "$2x$3" plasma:fractal -blur 0x1.2 -attenuate 0.3 +noise Gaussian \
    -quality 92 -sampling-factor 2x2 "$corpus/$1.tmp.jpg"
  mv "$corpus/$1.tmp.jpg" "$corpus/$1.jpg"
}
make_jpeg big1 4000 3000 1
make_jpeg big2 4032 3024 2
make_jpeg big3 3000 4000 3
make_jpeg small1 1920 1080 4
make_jpeg small2 1600 1200 5
make_jpeg small3 1200 1600 6
files=(big1 big2 big3 small1 small2 small3)
# The rows of the web's formats and of the photo formats read the JPEGs only.
for f in "${files[@]}"; do
  [ -n "${QV_ONLY:-}" ] && break
  [ -s "$corpus/$f.bmp" ] || "$magick" "$corpus/$f.jpg" -type TrueColor "BMP3:$corpus/$f.bmp"
  [ -s "$corpus/$f.png" ] || vips copy "$corpus/$f.jpg" "$corpus/$f.png[compression=6]"
done
[ -s "$corpus/huge.jpg" ] || [ -n "${QV_ONLY:-}" ] ||
  vips resize "$corpus/big1.jpg" "$corpus/huge.jpg[Q=92]" 2.83 --vscale 2.83 --kernel linear
size_of() { vipsheader -f width "$1"; vipsheader -f height "$1"; }

# Each row: a name, then for every input a list of commands (ours first), separated by "--".
json=$work/json
mkdir -p "$json"
row_index=0
declare -a rows
time_files() { # row-name tool-names... ; commands come from make_commands <file>
  local name=$1
  shift
  local tools=("$@") i=0
  for f in "${inputs[@]}"; do
    mapfile -t commands < <(make_commands "$f")
    hyperfine -N --style none --warmup 1 --runs "$runs" --export-json "$json/$name.$i.json" \
      "${commands[@]}" >/dev/null
    i=$((i + 1))
  done
  rows+=("$name|${tools[*]}")
  summarize
}

# The same, for rows whose commands take every file at once (the -j rows): the commands run one
# after the other, once each, $runs times over (after a warm-up), so that a change in the
# machine's load part way through the row falls on all of them alike; each command's median
# goes into the row.
time_alternating() { # row-name tool-names... ; commands come from make_commands
  local name=$1
  shift
  local tools=("$@") r
  mapfile -t commands < <(make_commands)
  for ((r = 0; r < runs; r++)); do
    hyperfine -N --style none --warmup "$((r == 0 ? 1 : 0))" --runs 1 \
      --export-json "$json/alternating.$r.json" "${commands[@]}" >/dev/null
  done
  python3 - "$json/$name.0.json" "$json"/alternating.*.json <<'EOF'
import json, statistics, sys
out, files = sys.argv[1], sys.argv[2:]
rounds = [json.load(open(f))["results"] for f in files]
json.dump({"results": [{"command": result["command"],
                        "median": statistics.median(r[k]["median"] for r in rounds)}
                       for k, result in enumerate(rounds[0])]}, open(out, "w"))
EOF
  rm -f "$json"/alternating.*.json
  rows+=("$name|${tools[*]}")
  summarize
}

# The corpus's files of one kind (bmp, png) -> JPEG q85: ours against the peers.
time_to_jpeg() {
  kind=$1
  make_commands() {
    q --format jpeg --quality 85 "$corpus/$1.$kind"
    echo "vips copy $corpus/$1.$kind $work/out/v.jpg[Q=85]"
    echo "$magick $corpus/$1.$kind -quality 85 $work/out/m.jpg"
    echo "gm convert $corpus/$1.$kind -quality 85 $work/out/g.jpg"
  }
  time_files "${kind^^} to JPEG q85" ours vips imagemagick graphicsmagick
}
# Ours on one thread, as the peers are, unless the row names its own -j: with Jobs at its default
# (one worker per core) a single file would have a spare thread take bands of its rows.
q() {
  local jobs="-j 1"
  case " $* " in *" -j "*) jobs="" ;; esac
  echo "$cli --ini $ini -q --overwrite --out $work/qv $jobs $*"
}

summarize() {
python3 - "$json" "$results" "$runs" "$run_date" "$(uptime | sed 's/.*load/load/')" \
  "${QV_NOTE:-}" "$mem_huge_ours" "$mem_huge_vips" "$mem_pdf_ours" "$mem_pdf_img2pdf" \
  "$hundred_bytes" "$png_sizes" "$mad" "$mitchell_sizes" "$web_sizes" "$peaks" "$work/old.md" \
  "${rows[@]}" <<'EOF'
import json, os, sys
(json_dir, results, runs, date, load, note, mem_huge_ours, mem_huge_vips, mem_pdf_ours,
 mem_pdf_img2pdf, hundred_bytes, png_sizes, mad, mitchell_sizes, web_sizes, peaks,
 old_file), rows = sys.argv[1:18], sys.argv[18:]
lines = [f"## Run of {date}", "",
         f"Runs per tool and file: {runs}; {load} at the end of the run. {note}".rstrip(), "",
         "| job | tool | seconds | ours / tool |", "|---|---|---|---|"]
for row in rows:
    name, tools = row.split("|")
    tools = tools.split()
    sums = [0.0] * len(tools)
    i = 0
    while os.path.exists(f"{json_dir}/{name}.{i}.json"):
        data = json.load(open(f"{json_dir}/{name}.{i}.json"))
        for k, r in enumerate(data["results"]):
            sums[k] += r["median"]
        i += 1
    for k, tool in enumerate(tools):
        ratio = "" if k == 0 else f"{sums[0] / sums[k]:.2f}x"
        lines.append(f"| {name if k == 0 else ''} | {tool} | {sums[k]:.3f} | {ratio} |")
if mem_huge_ours or mem_pdf_ours:
    lines += ["", "| peak memory | MiB |", "|---|---|"]
if mem_huge_ours:
    lines += [f"| ours, 96 MP JPEG to 1600x1200 | {int(mem_huge_ours) / 1024:.0f} |",
              f"| libvips, the same | {int(mem_huge_vips) / 1024:.0f} |",
              f"| (the 96 MP picture decoded, 24 bits) | {11320 * 8490 * 3 / 1048576:.0f} |"]
if mem_pdf_ours:
    lines += [f"| ours, 100 pages of 12 MP into a PDF | {int(mem_pdf_ours) / 1024:.0f} |",
              f"| img2pdf, the same | {int(mem_pdf_img2pdf) / 1024:.0f} |",
              f"| (the 100 JPEG files together) | {int(hundred_bytes) / 1048576:.0f} |"]
if peaks:
    lines += ["", "| peak memory, 96 MP to 1600x1200 | MiB |", "|---|---|"]
    for entry in filter(None, peaks.split(";")):
        label, kib = entry.split("|")
        lines.append(f"| {label} | {int(kib) / 1024:.0f} |")
if png_sizes:
    lines += ["", "| PNG 9, 2 MP | sub (bytes) | all (bytes) | libvips filter=all (bytes) |", "|---|---|---|---|"]
    for entry in filter(None, png_sizes.split(";")):
        n, a, b, c = entry.split()
        lines.append(f"| {n} | {a} | {b} | {c} |")
if mitchell_sizes.strip():
    ours, plain, filtered = mitchell_sizes.split()
    lines += ["", "| JPEG to 1024x768 Mitchell PNG 9, six files | bytes |", "|---|---|",
              f"| ours | {ours} |", f"| libvips as it comes (rows unfiltered) | {plain} |",
              f"| libvips filter=all | {filtered} |"]
if web_sizes:
    lines += ["", "| 12 MP JPEG to 1920x1080, three files | tool | bytes | PSNR (dB) against the "
              "resized picture |", "|---|---|---|---|"]
    for entry in filter(None, web_sizes.split(";")):
        job, tool, size, psnr = entry.split("|")
        lines.append(f"| {job} | {tool} | {size} | {psnr} |")
if mad:
    lines += ["", f"Mean absolute pixel difference of --fast-shrink from the exact path (640x480 "
              f"Lanczos3, per byte of the six pictures): {mad}."]
lines.append("")
old = open(old_file).read()
head, sep, rest = old.partition("## Run of")
with open(results, "w") as f:
    f.write(head + "\n".join(lines) + "\n" + (sep + rest if sep else ""))
EOF
}

# The rows run in the order of their importance; the table is written after each.
# The inputs of the rows below.
jpegs=()
for f in "${files[@]}"; do jpegs+=("$corpus/$f.jpg"); done
hundred=()
for i in $(seq 0 99); do hundred+=("$corpus/${files[$((i % 3))]}.jpg"); done
bmps=()
for f in "${files[@]}"; do bmps+=("$corpus/$f.bmp"); done

# The web's formats: 12 MP JPEG -> 1920x1080 Lanczos3 -> WebP q80 and AVIF q60 speed 6. cwebp and
# avifenc are fed a PNG of the same resized picture that we write (level 1), its time counted in
# theirs; libvips does the whole job in one process, ImageMagick too (GraphicsMagick writes no
# AVIF). Each tool is asked for the same effort: libwebp's method 4 (every tool's default), and
# for AV1 libaom at speed 6 in constant-quality mode at the quantizer the quality number gives
# (60 -> 25), colour at half resolution (4:2:0); libvips' effort 3 is libheif's speed 6.
web_rows() {
  local w h big=(big1 big2 big3)
  inputs=("${big[@]}")
  make_commands() {
    read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
    q --format webp --webp-quality 80 --size 1920x1080 --resample lanczos3 "$corpus/$1.jpg"
    echo "sh -c '$(q --format png --png-level 1 --size 1920x1080 --resample lanczos3 --out $work/png "$corpus/$1.jpg") && cwebp -quiet -q 80 -m 4 $work/png/$1.png -o $work/out/c.webp'"
    echo "vips resize $corpus/$1.jpg $work/out/v.webp[Q=80,effort=4] $(python3 -c "print(1920/$w)") --vscale $(python3 -c "print(1080/$h)") --kernel lanczos3 --gap 0"
    echo "$magick $corpus/$1.jpg -filter Lanczos -resize 1920x1080! -quality 80 -define webp:method=4 $work/out/m.webp"
    echo "gm convert $corpus/$1.jpg -filter Lanczos -resize 1920x1080! -quality 80 -define webp:method=4 $work/out/g.webp"
  }
  time_files "12 MP JPEG to 1920x1080 Lanczos3 WebP q80" ours cwebp+png vips imagemagick graphicsmagick
  make_commands() {
    read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
    q --format avif --avif-quality 60 --avif-speed 6 --size 1920x1080 --resample lanczos3 "$corpus/$1.jpg"
    echo "sh -c '$(q --format png --png-level 1 --size 1920x1080 --resample lanczos3 --out $work/png "$corpus/$1.jpg") && avifenc -j 1 -s 6 -y 420 --min 0 --max 63 -a end-usage=q -a cq-level=25 $work/png/$1.png $work/out/a.avif >/dev/null'"
    echo "vips resize $corpus/$1.jpg $work/out/v.avif[Q=60,compression=av1,effort=3,subsample-mode=on] $(python3 -c "print(1920/$w)") --vscale $(python3 -c "print(1080/$h)") --kernel lanczos3 --gap 0"
    echo "$magick $corpus/$1.jpg -filter Lanczos -resize 1920x1080! -quality 60 -define heic:speed=6 $work/out/m.avif"
  }
  time_files "12 MP JPEG to 1920x1080 Lanczos3 AVIF q60 speed 6" ours avifenc+png vips imagemagick

  # Sizes, and the PSNR of each decoded file against the resized picture (our lossless PNG).
  local job tool file total psnr
  mkdir -p "$work/web"
  for f in "${big[@]}"; do
    read -r w h < <(size_of "$corpus/$f.jpg" | paste -sd' ')
    "$cli" --ini "$ini" -q --overwrite --out "$work/web/ref" --format png --png-level 1 --size 1920x1080 --resample lanczos3 "$corpus/$f.jpg"
    "$cli" --ini "$ini" -q --overwrite --out "$work/web/ours" --format webp --webp-quality 80 --size 1920x1080 --resample lanczos3 "$corpus/$f.jpg"
    "$cli" --ini "$ini" -q --overwrite --out "$work/web/ours" --format avif --avif-quality 60 --avif-speed 6 --size 1920x1080 --resample lanczos3 "$corpus/$f.jpg"
    mkdir -p "$work/web/cwebp" "$work/web/avifenc" "$work/web/vips" "$work/web/imagemagick" "$work/web/graphicsmagick"
    cwebp -quiet -q 80 -m 4 "$work/web/ref/$f.png" -o "$work/web/cwebp/$f.webp"
    avifenc -j 1 -s 6 -y 420 --min 0 --max 63 -a end-usage=q -a cq-level=25 "$work/web/ref/$f.png" "$work/web/avifenc/$f.avif" >/dev/null
    vips resize "$corpus/$f.jpg" "$work/web/vips/$f.webp[Q=80,effort=4]" "$(python3 -c "print(1920/$w)")" --vscale "$(python3 -c "print(1080/$h)")" --kernel lanczos3 --gap 0
    vips resize "$corpus/$f.jpg" "$work/web/vips/$f.avif[Q=60,compression=av1,effort=3,subsample-mode=on]" "$(python3 -c "print(1920/$w)")" --vscale "$(python3 -c "print(1080/$h)")" --kernel lanczos3 --gap 0
    "$magick" "$corpus/$f.jpg" -filter Lanczos -resize 1920x1080! -quality 80 -define webp:method=4 "$work/web/imagemagick/$f.webp"
    "$magick" "$corpus/$f.jpg" -filter Lanczos -resize 1920x1080! -quality 60 -define heic:speed=6 "$work/web/imagemagick/$f.avif"
    gm convert "$corpus/$f.jpg" -filter Lanczos -resize 1920x1080! -quality 80 -define webp:method=4 "$work/web/graphicsmagick/$f.webp"
  done
  web_sizes=""
  for job in webp avif; do
    for tool in ours cwebp avifenc vips imagemagick graphicsmagick; do
      [ -s "$work/web/$tool/big1.$job" ] || continue
      total=0 psnr=""
      for f in "${big[@]}"; do
        file="$work/web/$tool/$f.$job"
        total=$((total + $(stat -c %s "$file")))
        if [ "$job" = webp ]; then dwebp -quiet "$file" -o "$work/web/decoded.png"; else avifdec "$file" "$work/web/decoded.png" >/dev/null; fi
        psnr+="$(compare -metric PSNR "$work/web/ref/$f.png" "$work/web/decoded.png" null: 2>&1 || true) "
      done
      web_sizes+="${job}|$tool|$total|$(python3 -c "import sys; v=[float(x) for x in sys.argv[1:]]; print(f'{sum(v)/len(v):.2f}')" $psnr);"
    done
  done
  summarize

  # -j 2 against -j 1 on the six files, alternating run by run.
  for job in "webp --webp-quality 80" "avif --avif-quality 60 --avif-speed 6"; do
    make_commands() {
      q -j 1 --format $job --size 1920x1080 --resample lanczos3 "${jpegs[@]}"
      q -j 2 --format $job --size 1920x1080 --resample lanczos3 "${jpegs[@]}"
    }
    time_alternating "-j 2 against -j 1: JPEG to ${job%% *} 1920x1080, six files" "-j1" "-j2"
  done
}
# Today's photo formats: the six pictures as HEICs (libheif's encoder, x265, quality 85) and the
# 12 MP ones as AVIFs (libavif's encoder, aom, speed 6), made once beside the JPEGs. Ours reads
# them through ifheif.spi and ifavif.spi; the peers through the same libraries.
photo_rows() {
  local f
  for f in "${files[@]}"; do
    [ -s "$corpus/$f.heic" ] ||
      { heif-enc -q 85 "$corpus/$f.jpg" -o "$corpus/$f.tmp.heic" >/dev/null && mv "$corpus/$f.tmp.heic" "$corpus/$f.heic"; }
  done
  for f in big1 big2 big3; do
    [ -s "$corpus/$f.avif" ] ||
      { avifenc -j 2 -s 6 "$corpus/$f.jpg" "$corpus/$f.tmp.avif" >/dev/null && mv "$corpus/$f.tmp.avif" "$corpus/$f.avif"; }
  done
  inputs=(big1 big2 big3)
  make_commands() {
    q --format jpeg --quality 85 "$corpus/$1.heic"
    echo "vips copy $corpus/$1.heic $work/out/v.jpg[Q=85]"
    echo "heif-convert -q 85 $corpus/$1.heic $work/out/h.jpg"
    echo "$magick $corpus/$1.heic -quality 85 $work/out/m.jpg"
  }
  time_files "12 MP HEIC to JPEG q85" ours vips heif-convert imagemagick
  make_commands() {
    q --format jpeg --quality 85 "$corpus/$1.avif"
    echo "vips copy $corpus/$1.avif $work/out/v.jpg[Q=85]"
    echo "heif-convert -q 85 $corpus/$1.avif $work/out/h.jpg"
    echo "avifdec -j 1 -q 85 $corpus/$1.avif $work/out/a.jpg"
    echo "$magick $corpus/$1.avif -quality 85 $work/out/m.jpg"
  }
  time_files "12 MP AVIF to JPEG q85" ours vips heif-convert avifdec imagemagick
  make_commands() {
    local w h
    read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
    q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.heic"
    echo "vips resize $corpus/$1.heic $work/out/v.jpg[Q=85] $(python3 -c "print(640/$w)") --vscale $(python3 -c "print(480/$h)") --kernel lanczos3 --gap 0"
    echo "$magick $corpus/$1.heic -filter Lanczos -resize 640x480! -quality 85 $work/out/m.jpg"
  }
  time_files "12 MP HEIC to 640x480 Lanczos3 JPEG q85" ours vips imagemagick
  local heics=()
  for f in "${files[@]}"; do heics+=("$corpus/$f.heic"); done
  make_commands() {
    q -j 1 --format jpeg "${heics[@]}"
    q -j 2 --format jpeg "${heics[@]}"
  }
  time_alternating "-j 2 against -j 1: HEIC to JPEG, six files" "-j1" "-j2"
}
# The resamplers on the 96 MP pictures (each against libvips' nearest kernel, with its peak
# memory), the default resampler (bilinear) on the 12 MP files against libvips and our Lanczos3,
# and -j 2 against -j 1 with it on eight 2 MP files.
streaming_rows() {
  local resampler kernel kernels=(linear linear mitchell lanczos3 cubic cubic) i
  local methods=(bilinear bilinear-mmx mitchell lanczos3 bspline bell)
  [ -s "$corpus/huge.jpg" ] ||
    vips resize "$corpus/big1.jpg" "$corpus/huge.jpg[Q=92]" 2.83 --vscale 2.83 --kernel linear
  [ -s "$corpus/huge.png" ] || vips copy "$corpus/huge.jpg" "$corpus/huge.png[compression=6]"
  # Ours and libvips alternate run by run (time_alternating): on this shared machine a burst of
  # load during one tool's runs moved a row by a fifth. make_commands runs inside time_alternating
  # and sees its locals, so the loop's names differ from them.
  for i in "${!methods[@]}"; do
    resampler=${methods[$i]} kernel=${kernels[$i]}
    make_commands() {
      q --format jpeg --size 1600x1200 --resample "$resampler" --quality 85 "$corpus/huge.jpg"
      echo "vips resize $corpus/huge.jpg $work/out/v.jpg[Q=85] $(python3 -c "print(1600/11320)") --vscale $(python3 -c "print(1200/8490)") --kernel $kernel --gap 0"
    }
    time_alternating "96 MP JPEG to 1600x1200 $resampler JPEG q85" ours "vips-$kernel"
    peaks+="ours, JPEG, $resampler|$(peak $(q --format jpeg --size 1600x1200 --resample "$resampler" --quality 85 "$corpus/huge.jpg"));"
  done
  peaks+="libvips, JPEG, linear|$(peak vips resize "$corpus/huge.jpg" "$work/out/v.jpg[Q=85]" 0.1413 --vscale 0.1413 --kernel linear --gap 0);"
  make_commands() {
    q --format jpeg --size 1600x1200 --resample bilinear --quality 85 "$corpus/huge.png"
    echo "vips resize $corpus/huge.png $work/out/v.jpg[Q=85] $(python3 -c "print(1600/11320)") --vscale $(python3 -c "print(1200/8490)") --kernel linear --gap 0"
  }
  time_alternating "96 MP PNG to 1600x1200 bilinear JPEG q85" ours vips-linear
  peaks+="ours, PNG, bilinear|$(peak $(q --format jpeg --size 1600x1200 --resample bilinear --quality 85 "$corpus/huge.png"));"
  peaks+="libvips, PNG, linear|$(peak vips resize "$corpus/huge.png" "$work/out/v.jpg[Q=85]" 0.1413 --vscale 0.1413 --kernel linear --gap 0);"
  summarize
  inputs=(big1 big2 big3)
  make_commands() {
    local w h
    read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
    q --format jpeg --size 640x480 --quality 85 "$corpus/$1.jpg"
    echo "vips resize $corpus/$1.jpg $work/out/v.jpg[Q=85] $(python3 -c "print(640/$w)") --vscale $(python3 -c "print(480/$h)") --kernel linear --gap 0"
    q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.jpg"
  }
  time_files "12 MP JPEG to 640x480 JPEG q85, default settings (bilinear)" ours vips-linear ours-lanczos3
  local eight=()
  mkdir -p "$work/eight"
  for i in 1 2 3 4 5 6 7 8; do
    cp "$corpus/small$(((i - 1) % 3 + 1)).jpg" "$work/eight/p$i.jpg"
    eight+=("$work/eight/p$i.jpg")
  done
  make_commands() {
    q -j 1 --format jpeg --size 640x480 "${eight[@]}"
    q -j 2 --format jpeg --size 640x480 "${eight[@]}"
  }
  time_alternating "-j 2 against -j 1: eight 2 MP JPEGs to 640x480, default settings" "-j1" "-j2"
}
# Peak memory (maximum resident set, /usr/bin/time).
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
if [ "${QV_ONLY:-}" = streaming ]; then
  streaming_rows
  sed -n "/## Run of $run_date/,/## Run of/p" "$results"
  exit 0
fi
# The Jobs setting: its default (0, one file per core) against Jobs=1, the six JPEGs to 640x480
# Lanczos3 JPEG q85 in one process, on the command line and through the window's drop path
# (window_drop: the settings dialog's controls read from an INI file, each file converted by the
# window's batch host while its event loop goes on; offscreen, so no X server is needed).
jobs_rows() {
  make_commands() {
    q -j 1 --format jpeg --size 640x480 --resample lanczos3 --quality 85 "${jpegs[@]}"
    q -j 0 --format jpeg --size 640x480 --resample lanczos3 --quality 85 "${jpegs[@]}"
  }
  time_alternating "Jobs, command line: JPEG to 640x480 Lanczos3 JPEG q85, six files" \
    "Jobs=1" "default"
  [ -x "$window_drop" ] || return 0
  "$cli" --ini "$work/window.ini" --section bench -q --format jpeg --size 640x480 \
    --resample lanczos3 --quality 85 --overwrite --out "$work/qw" --save-settings
  make_commands() {
    echo "env QT_QPA_PLATFORM=offscreen $window_drop $work/window.ini bench 1 ${jpegs[*]}"
    echo "env QT_QPA_PLATFORM=offscreen $window_drop $work/window.ini bench 0 ${jpegs[*]}"
  }
  time_alternating "Jobs, the window's drop path: the same six files" "Jobs=1" "default"
}
if [ "${QV_ONLY:-}" = jobs ]; then
  jobs_rows
  sed -n "/## Run of $run_date/,/## Run of/p" "$results"
  exit 0
fi
if [ "${QV_ONLY:-}" = photos ]; then
  photo_rows
  sed -n "/## Run of $run_date/,/## Run of/p" "$results"
  exit 0
fi
if [ "${QV_ONLY:-}" = web ]; then
  web_rows
  sed -n "/## Run of $run_date/,/## Run of/p" "$results"
  exit 0
fi

# Peak memory (maximum resident set, /usr/bin/time).
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
# 8. Six JPEGs into one PDF, and 100 pages of 12 MP.
inputs=(six)
make_commands() {
  q --format pdf --pdf "$work/out/q.pdf" "${jpegs[@]}"
  echo "img2pdf ${jpegs[*]} -o $work/out/i.pdf"
}
time_files "six JPEGs into one PDF" ours img2pdf
inputs=(hundred)
make_commands() {
  q --format pdf --pdf "$work/out/q.pdf" "${hundred[@]}"
  echo "img2pdf ${hundred[*]} -o $work/out/i.pdf"
}
time_files "100 pages of 12 MP JPEG into one PDF" ours img2pdf

# Peak memory of the 100 pages.
mem_pdf_ours=$(peak $(q --format pdf --pdf "$work/out/q.pdf" "${hundred[@]}"))
mem_pdf_img2pdf=$(peak img2pdf "${hundred[@]}" -o "$work/out/i.pdf")
hundred_bytes=0
for f in "${hundred[@]}"; do hundred_bytes=$((hundred_bytes + $(stat -c %s "$f"))); done
summarize
inputs=("${files[@]}")
# 6. 24-bit PNG -> JPEG q85 (our PNG decoder against libpng's).
time_to_jpeg png

inputs=("${files[@]}")
# 2. The same with --fast-shrink (decoding at a DCT scale), against vipsthumbnail, which does
# the same.
make_commands() {
  q --format jpeg --size 640x480 --resample lanczos3 --quality 85 --fast-shrink "$corpus/$1.jpg"
  echo "vipsthumbnail $corpus/$1.jpg --size 640x480! -o $work/out/t.jpg[Q=85]"
}
time_files "JPEG to 640x480 Lanczos3 JPEG, --fast-shrink" ours vipsthumbnail

# Fast shrink: the mean absolute difference of its pixels from the exact path's.
"$cli" --ini "$ini" -q --overwrite --out "$work/exact" --format bmp --size 640x480 --resample lanczos3 "${jpegs[@]}"
"$cli" --ini "$ini" -q --overwrite --out "$work/fast" --format bmp --size 640x480 --resample lanczos3 --fast-shrink "${jpegs[@]}"
mad=$(python3 - "$work" "${files[@]}" <<'EOF'
import sys
work, names = sys.argv[1], sys.argv[2:]
total = count = 0
worst = 0.0
for n in names:
    a = open(f"{work}/exact/{n}.bmp", "rb").read()
    b = open(f"{work}/fast/{n}.bmp", "rb").read()
    off = int.from_bytes(a[10:14], "little")
    d = sum(abs(x - y) for x, y in zip(a[off:], b[off:]))
    total += d
    count += len(a) - off
    worst = max(worst, d / (len(a) - off))
print(f"{total / count:.2f} (worst file {worst:.2f})")
EOF
)

summarize
# 7. The 96 MP JPEG -> 1600x1200 Lanczos3 JPEG (peak memory below).
inputs=(huge)
make_commands() {
  q --format jpeg --size 1600x1200 --resample lanczos3 --quality 85 "$corpus/$1.jpg"
  echo "vips resize $corpus/$1.jpg $work/out/v.jpg[Q=85] $(python3 -c "print(1600/11320)") --vscale $(python3 -c "print(1200/8490)") --kernel lanczos3 --gap 0"
  echo "$magick $corpus/$1.jpg -filter Lanczos -resize 1600x1200! -quality 85 $work/out/m.jpg"
}
time_files "96 MP JPEG to 1600x1200 Lanczos3 JPEG" ours vips imagemagick

# The same on the three 12 MP files alone, exact path against `vips resize --gap 0`.
inputs=(big1 big2 big3)
make_commands() {
  local w h
  read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
  q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.jpg"
  echo "vips resize $corpus/$1.jpg $work/out/v.jpg[Q=85] $(python3 -c "print(640/$w)") --vscale $(python3 -c "print(480/$h)") --kernel lanczos3 --gap 0"
}
time_files "12 MP JPEG to 640x480 Lanczos3 JPEG q85" ours vips

mem_huge_ours=$(peak $(q --format jpeg --size 1600x1200 --resample lanczos3 --quality 85 "$corpus/huge.jpg"))
mem_huge_vips=$(peak vips resize "$corpus/huge.jpg" "$work/out/v.jpg[Q=85]" 0.1413 --vscale 0.1413 --kernel lanczos3 --gap 0)
summarize
# 10. All cores: the four image jobs, all six files in one process, -j 1 against -j 2, the two
# alternating run by run.
for job in "jpeg --size 640x480 --resample lanczos3" "png --png-level 9 --size 1024x768 --resample mitchell" \
  "bmp --size 800x600 --resample bilinear"; do
  make_commands() {
    q -j 1 --format $job "${jpegs[@]}"
    q -j 2 --format $job "${jpegs[@]}"
  }
  time_alternating "-j 2 against -j 1: JPEG to ${job%% *}, six files" "-j1" "-j2"
done
make_commands() {
  q -j 1 --format jpeg "${bmps[@]}"
  q -j 2 --format jpeg "${bmps[@]}"
}
time_alternating "-j 2 against -j 1: BMP to JPEG, six files" "-j1" "-j2"
jobs_rows

# 11. PNG size and encode time with --png-filters all, on the 2 MP files at level 9.
inputs=(small1 small2 small3)
make_commands() {
  q --format png --png-level 9 "$corpus/$1.bmp"
  q --format png --png-level 9 --png-filters all "$corpus/$1.bmp"
  echo "vips copy $corpus/$1.bmp $work/out/$1.png[compression=9,filter=all]"
}
time_files "BMP to PNG 9 (2 MP): sub, all, libvips filter=all" ours-sub ours-all vips
png_sizes=""
for f in small1 small2 small3; do
  "$cli" --ini "$ini" -q --overwrite --out "$work/sub" --format png --png-level 9 "$corpus/$f.bmp"
  "$cli" --ini "$ini" -q --overwrite --out "$work/all" --format png --png-level 9 --png-filters all "$corpus/$f.bmp"
  png_sizes+="$f $(stat -c %s "$work/sub/$f.png") $(stat -c %s "$work/all/$f.png") $(stat -c %s "$work/out/$f.png");"
done

summarize
inputs=("${files[@]}")
# 1. JPEG -> 640x480 Lanczos3 -> JPEG q85.
inputs=("${files[@]}")
make_commands() {
  local w h
  read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
  q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.jpg"
  echo "vips resize $corpus/$1.jpg $work/out/v.jpg[Q=85] $(python3 -c "print(640/$w)") --vscale $(python3 -c "print(480/$h)") --kernel lanczos3 --gap 0"
  echo "vipsthumbnail $corpus/$1.jpg --size 640x480! -o $work/out/t.jpg[Q=85]"
  echo "$magick $corpus/$1.jpg -filter Lanczos -resize 640x480! -quality 85 $work/out/m.jpg"
  echo "gm convert $corpus/$1.jpg -filter Lanczos -resize 640x480! -quality 85 $work/out/g.jpg"
}
time_files "JPEG to 640x480 Lanczos3 JPEG q85" ours vips vipsthumbnail imagemagick graphicsmagick

# 12. Colour profiles: the 12 MP files tagged Adobe RGB (Ghostscript's a98 profile; the same
# pixels) -> 640x480 Lanczos3 -> JPEG q85, converted to sRGB, against the untagged files. The
# goal: at most 1.15x (the transform runs on the reduced picture only).
a98=/usr/share/color/icc/ghostscript/a98.icc
if [ -s "$a98" ] && command -v exiftool >/dev/null; then
  for f in big1 big2 big3; do
    [ -s "$corpus/$f.a98.jpg" ] ||
      exiftool -q "-icc_profile<=$a98" -o "$corpus/$f.a98.jpg" "$corpus/$f.jpg"
  done
  inputs=(big1 big2 big3)
  make_commands() {
    q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.a98.jpg"
    q --format jpeg --size 640x480 --resample lanczos3 --quality 85 "$corpus/$1.jpg"
  }
  time_files "12 MP Adobe RGB JPEG to 640x480 JPEG, against untagged" ours-adobe-rgb ours-untagged
fi

# 9. Start-up: a 16x16 BMP to PNG.
"$magick" -size 16x16 xc:gray "BMP3:$work/tiny.bmp"
inputs=(tiny)
make_commands() {
  q --format png "$work/tiny.bmp"
  echo "vips copy $work/tiny.bmp $work/out/v.png"
  echo "$magick $work/tiny.bmp $work/out/m.png"
  echo "gm convert $work/tiny.bmp $work/out/g.png"
}
time_files "start-up: 16x16 BMP to PNG" ours vips imagemagick graphicsmagick

inputs=("${files[@]}")
# 3. JPEG -> 1024x768 Mitchell -> PNG level 9. libvips writes its rows unfiltered unless asked
# (larger files, faster), so it runs both ways: as it comes and with filter=all.
make_commands() {
  local w h
  read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
  q --format png --png-level 9 --size 1024x768 --resample mitchell "$corpus/$1.jpg"
  echo "vips resize $corpus/$1.jpg $work/out/$1.vn.png[compression=9] $(python3 -c "print(1024/$w)") --vscale $(python3 -c "print(768/$h)") --kernel mitchell --gap 0"
  echo "vips resize $corpus/$1.jpg $work/out/$1.va.png[compression=9,filter=all] $(python3 -c "print(1024/$w)") --vscale $(python3 -c "print(768/$h)") --kernel mitchell --gap 0"
  echo "$magick $corpus/$1.jpg -filter Mitchell -resize 1024x768! -quality 95 $work/out/m.png"
  echo "gm convert $corpus/$1.jpg -filter Mitchell -resize 1024x768! -quality 95 $work/out/g.png"
}
time_files "JPEG to 1024x768 Mitchell PNG 9" ours vips "vips-filter=all" imagemagick graphicsmagick
mitchell_sizes=""
for name in qv/%s.png out/%s.vn.png out/%s.va.png; do
  total=0
  for f in "${files[@]}"; do total=$((total + $(stat -c %s "$work/${name//%s/$f}"))); done
  mitchell_sizes+="$total "
done

inputs=("${files[@]}")
# 4. JPEG -> 800x600 bilinear -> BMP.
make_commands() {
  local w h
  read -r w h < <(size_of "$corpus/$1.jpg" | paste -sd' ')
  q --format bmp --size 800x600 --resample bilinear "$corpus/$1.jpg"
  echo "vips resize $corpus/$1.jpg $work/out/v.bmp $(python3 -c "print(800/$w)") --vscale $(python3 -c "print(600/$h)") --kernel linear --gap 0"
  echo "$magick $corpus/$1.jpg -filter Triangle -resize 800x600! $work/out/m.bmp"
  echo "gm convert $corpus/$1.jpg -filter Triangle -resize 800x600! $work/out/g.bmp"
}
time_files "JPEG to 800x600 bilinear BMP" ours vips imagemagick graphicsmagick

inputs=("${files[@]}")
# 5. BMP -> JPEG q85.
time_to_jpeg bmp


# 14. Every resampler on the 96 MP pictures, the default resampler on 12 MP and 2 MP files (above).
streaming_rows

# 13. Today's photo formats (above).
photo_rows

summarize
cat "$results" | sed -n "/## Run of $run_date/,/## Run of/p"
