#!/usr/bin/env bash
# Installs what is missing, builds Stillkeep (Release) and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSTILLKEEP_TESTS=OFF > /dev/null
cmake --build "$root/build/release"
exec "$root/build/release/app/stillkeep"
