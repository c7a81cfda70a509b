#!/usr/bin/env bash
# Builds the benchmarks in their own Release tree and runs them (or the ones named).
# Inputs are generated under $SK_BENCH_DIR (default: the temporary folder); the store benchmark
# needs about 3 GB free there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSTILLKEEP_TESTS=OFF -DSTILLKEEP_BENCH=ON > /dev/null
cmake --build "$root/build/bench"
benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(store_bench codec_bench gif_bench tiff_bench myupdate_bench keylist_bench strong_bench)
for b in "${benches[@]}"; do
  echo "== $b"
  if [ -x "$root/build/bench/bench/$b" ]; then
    "$root/build/bench/bench/$b"
  else
    bash "$root/bench/$b"
  fi
done
