#!/usr/bin/env bash
# Installs every Debian package Glimmerfrost needs to build, run, test and benchmark.
# Idempotent: when everything is already there it prints nothing and installs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libsdl2-dev libopenmpt-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev zlib1g-dev
  libcairo2-dev libfreetype-dev fonts-dejavu-core fonts-dejavu-extra
  libgtest-dev libgmock-dev libbenchmark-dev
  libxmp-dev lib3ds-dev
  clang libclang-rt-14-dev clang-tidy cppcheck
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
