#!/usr/bin/env bash
# Installs every build, test and tool dependency from Debian packages.
# Safe to run again: apt skips what is already installed.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  build-essential cmake pkg-config ninja-build
  libsndfile1-dev libsoxr-dev libfftw3-dev libplist-dev portaudio19-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libtiff-dev
  sox ffmpeg python3 python3-numpy fluidsynth fluid-soundfont-gm desktop-file-utils
  qt6-base-dev fonts-dejavu-core xvfb xauth x11-utils xdotool
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
