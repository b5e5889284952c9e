#!/usr/bin/env bash
# Builds the Debian package of the gateway, its tools, the desktop library,
# the pages' files, the demo installation and the systemd units:
#   scripts/package.sh [BUILD_DIR]      (default: build-package)
# prints the package's path last. Install it with `apt install ./tarvelo_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-package}"

./scripts/install-deps.sh

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARVELO_TESTS=OFF -DTARVELO_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"${JOBS:-2}"
rm -f "$dir"/tarvelo_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls "$dir"/tarvelo_*.deb)"
echo "package: $(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
