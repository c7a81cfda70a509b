#!/usr/bin/env bash
# Times a batch add of N photos of 1600 x 1200 (skd add, which reads and encodes ahead on worker
# threads while it stores in order) against the sequential djpeg | cjpeg -quality 75 loop over the
# same files, with hyperfine, and reports skd's peak memory for N and for N / 4 files (it should
# not grow with the number of files). Needs a Release build of skd; never run in CI.
#
#   bench/BatchAddBench.sh [PATH_TO_SKD] [FILES] [RUNS]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
skd=$(realpath "${1:-$root/build/release/tools/skd}")
files=${2:-200}
runs=${3:-5}
convert=/usr/bin/convert

for tool in "$skd" "$convert" djpeg cjpeg hyperfine /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "BatchAddBench: $tool not found" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sk-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "BatchAddBench: making $files photos of 1600 x 1200 in $work"
mkdir photos
for i in $(seq 1 8); do
  "$convert" -size 1600x1200 -seed "$i" plasma:fractal -blur 0x1 -quality 92 "photos/seed$i.jpg"
done
for i in $(seq 1 "$files"); do
  cp "photos/seed$(( (i - 1) % 8 + 1 )).jpg" "photos/photo$(printf %04d "$i").jpg"
done
rm photos/seed*.jpg

hyperfine --warmup 1 --runs "$runs" --export-markdown batch.md \
  --prepare "rm -f store.skd" \
  -n "skd add ($files files)" "'$skd' add store.skd photos/*.jpg > /dev/null" \
  -n "djpeg | cjpeg -quality 75 loop" \
  "for f in photos/*.jpg; do djpeg \"\$f\" | cjpeg -quality 75 > out.jpg; done"

peak() {
  rm -f store.skd
  /usr/bin/time -f "%M" "$skd" add store.skd "$@" 2>&1 > /dev/null | tail -1
}
all=(photos/*.jpg)
quarter=("${all[@]:0:$(( files / 4 ))}")
echo "peak memory, skd add of ${#all[@]} files: $(peak "${all[@]}") KB"
echo "peak memory, skd add of ${#quarter[@]} files: $(peak "${quarter[@]}") KB"

# The program's own batch add of 200 such photos (its workflow, offscreen), when built.
window_bench="$(dirname "$skd")/../bench/keylist_bench"
if [ -x "$window_bench" ]; then
  "$window_bench" --benchmark_filter=BatchAdd 2>&1 | grep -v propagateSizeHints
fi
