#!/usr/bin/env bash
# Times skd's codecs against libjpeg-turbo's own tools and ImageMagick on one generated
# 12-megapixel photo, with hyperfine. Needs a Release build of skd; never run in CI.
#
#   bench/ImagingBench.sh [PATH_TO_SKD] [RUNS]
#
# Default skd: build/release/tools/skd below the repository; default runs: 10.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
skd=$(realpath "${1:-$root/build/release/tools/skd}")
runs=${2:-10}
convert=/usr/bin/convert  # ImageMagick 6; a convert earlier on PATH may be something else

for tool in "$skd" "$convert" djpeg cjpeg hyperfine; do
  command -v "$tool" > /dev/null || { echo "ImagingBench: $tool not found" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sk-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A 4000 x 3000 photo-like picture: a plasma fractal, lightly blurred, saved as a 300 dpi JPEG at
# quality 92, and the same pixels as an uncompressed 24-bit BMP.
echo "ImagingBench: making the 12-megapixel photo in $work"
"$convert" -size 4000x3000 -seed 1 plasma:fractal -blur 0x1 -density 300 -units PixelsPerInch \
  -quality 92 photo.jpg
djpeg -bmp photo.jpg > photo.bmp
ls -l photo.jpg photo.bmp

bench() {
  hyperfine --warmup 1 --runs "$runs" --export-markdown "$1.md" "${@:2}"
}

echo "== JPEG to JPEG at quality 75"
bench jpeg \
  -n "skd convert photo.jpg out.jpg --quality 75" "'$skd' convert photo.jpg out.jpg --quality 75" \
  -n "djpeg | cjpeg -quality 75" "djpeg photo.jpg | cjpeg -quality 75 > ref.jpg"

echo "== BMP read and write (BMP to BMP)"
bench bmp-rw \
  -n "skd convert photo.bmp out.bmp" "'$skd' convert photo.bmp out.bmp" \
  -n "convert photo.bmp out-im.bmp" "$convert photo.bmp out-im.bmp"

echo "== BMP read (BMP to JPEG at quality 75)"
bench bmp-read \
  -n "skd convert photo.bmp out.jpg --quality 75" "'$skd' convert photo.bmp out.jpg --quality 75" \
  -n "convert photo.bmp -quality 75 out-im.jpg" "$convert photo.bmp -quality 75 out-im.jpg"

echo "== BMP write (JPEG to BMP)"
bench bmp-write \
  -n "skd convert photo.jpg out.bmp" "'$skd' convert photo.jpg out.bmp" \
  -n "convert photo.jpg out-im.bmp" "$convert photo.jpg out-im.bmp"

cat jpeg.md bmp-rw.md bmp-read.md bmp-write.md
