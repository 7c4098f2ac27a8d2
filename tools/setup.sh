#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does
# nothing when they are all present.  Safe to run any number of times.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6opengl6-dev
  libglu1-mesa-dev libgl-dev libegl-dev libgl1-mesa-dri
  zlib1g-dev libpng-dev libjpeg-dev libcurl4-openssl-dev libspnav-dev libassimp-dev
  imagemagick libosmesa6-dev
  libmeshoptimizer-dev
  libcoin-dev
  xvfb xauth
  cups printer-driver-cups-pdf poppler-utils
  ghostscript libgl2ps-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
