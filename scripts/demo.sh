#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway on the bundled demo
# installation. The demo is copied on first use into a working folder outside
# the source tree (default ~/.local/share/tarvelo-demo), so running it never
# changes tracked files. Stop it with Ctrl-C: the gateway saves its state.
set -euo pipefail
cd "$(dirname "$0")/.."
src="$(pwd)"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}"

work="${TARVELO_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/tarvelo-demo}"
if [ ! -d "$work/Config" ]; then
  mkdir -p "$work"
  cp -R "$src/data/demo/." "$work/"
  echo "Demo installation copied to $work"
fi

echo "Running the gateway on $work (Ctrl-C to stop)"
exec "$src/build/bin/tarvelo" --base "$work" --headless
