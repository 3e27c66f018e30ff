#!/usr/bin/env bash
# Installs the Debian packages Glimmerfrost needs. By default only what building
# and running the show takes; with --dev also the tools for the tests, the
# sanitizers, lint, fuzzing and the benchmarks (`make test` passes it); with
# --web also the browser build's compiler, the tools that fetch and unpack
# Debian's library sources for it, and the browser its test drives
# (`make web` passes it); with --deb the tools that build, check and test the
# Debian package (`make deb` passes it).
# Runs apt-get through sudo when not run as root.
# Idempotent: when everything is already there it prints nothing and installs nothing.
set -euo pipefail

# Building and running the show.
packages=(
  build-essential cmake pkg-config ninja-build
  libsdl2-dev libopenmpt-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libpng-dev zlib1g-dev
  libcairo2-dev
)

# Tests, cross-checks, benchmarks, sanitizers, lint, fuzzing and the windowed soak.
dev_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  libxmp-dev lib3ds-dev
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck
  xvfb xauth
)

# The browser build (make web, make serve-web) and its test.
web_packages=(
  emscripten nodejs python3 dpkg-dev chromium
)

# The Debian package (make deb) and its test in a fresh Debian 12 root.
deb_packages=(
  dpkg-dev lintian debootstrap
)

for arg in "$@"; do
  case "$arg" in
    --dev) packages+=("${dev_packages[@]}") ;;
    --web) packages+=("${web_packages[@]}") ;;
    --deb) packages+=("${deb_packages[@]}") ;;
    -h|--help) echo "Usage: scripts/setup.sh [--dev] [--web] [--deb]"; exit 0 ;;
    *) echo "setup.sh: unknown option $arg (only --dev, --web and --deb are known)" >&2; exit 2 ;;
  esac
done

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
