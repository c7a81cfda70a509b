#!/usr/bin/env bash
# Times `skd scan` against find with the same name patterns, in one run, on a generated tree of
# 100,000 files in 5,000 folders (50 top folders of 100 folders of 20 files; about a third of the
# files carry picture extensions, in mixed case). Needs a Release build of skd; never run in CI.
#
#   bench/ScanBench.sh [PATH_TO_SKD] [RUNS]
#
# Default skd: build/release/tools/skd below the repository; default runs: 10. The tree is made
# under $SK_BENCH_DIR (default: the temporary folder) and removed afterwards.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
skd=$(realpath "${1:-$root/build/release/tools/skd}")
runs=${2:-10}

for tool in "$skd" find hyperfine /usr/bin/python3; do
  command -v "$tool" > /dev/null || { echo "ScanBench: $tool not found" >&2; exit 2; }
done

work=$(mktemp -d "${SK_BENCH_DIR:-${TMPDIR:-/tmp}}/sk-scan-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "ScanBench: making 100,000 files in 5,000 folders in $work"
/usr/bin/python3 - "$work/tree" <<'PY'
import os, sys
top = sys.argv[1]
names = ["photo{}.jpg", "IMG_{}.JPG", "scan{}.tiff", "pic{}.gif", "old{}.bmp", "notes{}.txt",
         "scan{}.tif", "draw{}.wmf", "raw{}.cr2", "page{}.pcx", "clip{}.jpeg", "data{}.bin",
         "readme{}", "thumb{}.png", "movie{}.mp4", "shot{}.Gif", "list{}.csv", "a{}.html",
         "b{}.json", "c{}.xml"]
count = 0
for i in range(50):
    for j in range(100):
        folder = os.path.join(top, "d%02d" % i, "sub%03d" % j)
        os.makedirs(folder)
        for k, pattern in enumerate(names):
            with open(os.path.join(folder, pattern.format(count)), "wb") as f:
                f.write(b"x" * ((count * 37) % 4096))
            count += 1
print(count, "files")
PY

masks="*.bmp, *.jpg, *.jpeg, *.gif, *.tiff"
find_patterns=(\( -iname '*.bmp' -o -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.gif' \
  -o -iname '*.tiff' \))
# The same matches, the same count of lines.
ours=$("$skd" scan "$work/tree" --mask "$masks" 2> /dev/null | sort | md5sum)
theirs=$(find "$work/tree" "${find_patterns[@]}" -print | sort | md5sum)
[ "$ours" = "$theirs" ] || { echo "ScanBench: skd scan and find disagree" >&2; exit 1; }
"$skd" scan "$work/tree" --mask "$masks" 2>&1 > /dev/null | tail -1

cd "$work"
hyperfine --warmup 2 --runs "$runs" --export-markdown scan.md \
  -n "skd scan" "'$skd' scan tree --mask '$masks' > /dev/null 2>&1" \
  -n "find -iname" "find tree \\( -iname '*.bmp' -o -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.gif' -o -iname '*.tiff' \\) -print > /dev/null" \
  -n "find -iname -printf size" "find tree \\( -iname '*.bmp' -o -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.gif' -o -iname '*.tiff' \\) -printf '%s %p\\n' > /dev/null"
cat scan.md
