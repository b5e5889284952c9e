#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway on the bundled demo
# installation with the PIM simulator and the local xAP hub: no hardware
# needed. Any xAP tool on this machine can then drive the demo, such as
# build/bin/tarvelo-xap (watch, send, bsc on/off/query).
#
# The demo is copied on first use into a working folder outside the source
# tree (default ~/.local/share/tarvelo-demo), so running it never changes
# tracked files. Stop it with Ctrl-C: the gateway saves the component states
# into <folder>/Config/Tarvelo.ini before it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
src="$(pwd)"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}" --target tarvelo tarvelo-pimsim tarvelo-hub tarvelo-xap

work="${TARVELO_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/tarvelo-demo}"
if [ ! -d "$work/Config" ]; then
  mkdir -p "$work"
  cp -R "$src/data/demo/." "$work/"
  echo "Demo installation copied to $work"
fi

# The simulated PIM listens where the demo's settings point the gateway
# (SerialIP=127.0.0.1, UPBCommPort=2101). A wall switch is pressed a minute
# in: the Entry Keypad sends link 6, and the Porch Light follows it.
port="$(sed -n 's/^UPBCommPort=//p' "$work/Config/Tarvelo.ini" | tr -d '\r"' | head -n1)"
port="${port:-2101}"
rain8="$(sed -n 's/^Rain8Modules=//p' "$work/Config/Tarvelo.ini" | tr -d '\r"' | head -n1)"
simlog="$work/Data/pimsim.log"
"$src/build/bin/tarvelo-pimsim" --listen "127.0.0.1:$port" \
  --export "$work/Data/Tarvelo/Tarvelo.upe" ${rain8:+--rain8 "$rain8"} --press 1:6@60 --release 1:6@120 > "$simlog" 2>&1 < /dev/null &
sim=$!
hublog="$work/Data/hub.log"
"$src/build/bin/tarvelo-hub" > "$hublog" 2>&1 < /dev/null &
hub=$!
trap 'kill "$sim" "$hub" 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q listening "$simlog" 2>/dev/null && break; sleep 0.1; done
for _ in $(seq 20); do grep -q -e listening -e "cannot listen" "$hublog" 2>/dev/null && break; sleep 0.1; done
if grep -q "cannot listen" "$hublog"; then
  echo "xAP port 3639 is taken (another hub is running?): using that one"
else
  echo "xAP hub on UDP port 3639 (clients in $hublog)"
fi

echo "PIM simulator on 127.0.0.1:$port (traffic in $simlog)"
echo "Watch the xAP side: build/bin/tarvelo-xap watch --brief"
echo "Switch a light:     build/bin/tarvelo-xap bsc on 'zantu.UPB.*:tarvelo_hall_hall_lights_hall_path'"
echo "Gateway on $work; it polls every module once at start (about a second each); the status page"
echo "works meanwhile. One line per component change follows. Ctrl-C stops it."
"$src/build/bin/tarvelo" --base "$work" --headless
