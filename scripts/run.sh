#!/usr/bin/env bash
# Installs what is missing, builds Stillkeep (Release) and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSTILLKEEP_TESTS=OFF > /dev/null
cmake --build "$root/build/release"
# The main window comes with a later milestone; until then the command-line tool is the program.
exec "$root/build/release/tools/skd" --help
