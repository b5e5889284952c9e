#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
# xvfb, trayer, xdotool, imagemagick and xclip drive the desktop test (a
# virtual display with a system tray, clicks, screenshots, the clipboard).
# clang and its libFuzzer runtime (libclang-rt-<version of Debian's clang>-dev)
# build the fuzz targets that scripts/fuzz.sh runs.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  socat
  chromium chromium-driver
  xvfb xauth trayer xdotool imagemagick xclip
  locales python3
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
