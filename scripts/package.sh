#!/usr/bin/env bash
# Builds the Debian package of Stillkeep from a Release tree (build/package) with cpack and
# prints its path and its control fields. Install it with: sudo apt-get install ./stillkeep_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/package
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTILLKEEP_TESTS=OFF > /dev/null
cmake --build "$build" --target stillkeep skd -j "${JOBS:-2}"
(cd "$build" && cpack -G DEB > cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
package=$(ls -t "$build"/stillkeep_*.deb | head -n 1)
dpkg-deb --field "$package" Package Version Architecture Depends Recommends
echo "$package"
