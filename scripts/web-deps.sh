#!/usr/bin/env bash
# Builds the two C/C++ libraries the browser build links, libopenmpt and
# libjpeg-turbo, as static WebAssembly libraries from Debian's source packages.
# The sources are fetched with apt-get through a private sources list kept in the
# build tree (the system's lists are not touched), unpacked with Debian's patches,
# and built with emscripten. The result is cached in OUT/prefix: when both
# libraries are there, nothing is fetched or built again.
#   usage: scripts/web-deps.sh [OUT]   (default: build-web/deps)
set -euo pipefail

out=$(realpath -m "${1:-build-web/deps}")
prefix="$out/prefix"
export NODE_PATH=/usr/share/nodejs

if [ -f "$prefix/lib/libopenmpt.a" ] && [ -f "$prefix/lib/libjpeg.a" ]; then
  exit 0
fi
for tool in emcc emconfigure emcmake emmake apt-get dpkg-source; do
  command -v "$tool" >/dev/null || { echo "web-deps.sh: $tool not found (run scripts/setup.sh --web)" >&2; exit 1; }
done

mkdir -p "$out/apt/lists/partial" "$out/src" "$prefix/lib" "$prefix/include"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$out/apt/sources.list"
apt_opts=(-o "Dir::Etc::sourcelist=$out/apt/sources.list" -o Dir::Etc::sourceparts=-
          -o "Dir::State::Lists=$out/apt/lists" -o Debug::NoLocking=1)
# As root apt would warn that it downloads without its sandbox user; the sources are
# only unpacked and compiled here, so it is told that root is meant.
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)
jobs=${JOBS:-2}

# Runs a step with all its output in $out/logs/NAME.log. The libraries' configure
# scripts and CMake projects warn about their own portability checks, which look
# alarming and concern nothing here, so a step that works says nothing; one that
# fails says which and shows the end of its log.
quietly() {
  local name=$1
  shift
  local log
  log="$out/logs/$(echo "$name" | tr -c 'a-zA-Z0-9.\n-' '-').log"
  mkdir -p "$out/logs"
  if ! "$@" >"$log" 2>&1; then
    echo "web-deps.sh: $name failed; the end of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

fetch() { # fetch PKG VERSION DIR: unpacks the Debian source into $out/src/DIR
  local pkg=$1 version=$2 name=$3
  [ -d "$out/src/$name" ] && return 0
  quietly "fetching the source of $pkg $version" \
    bash -c 'cd "$1" && apt-get -q "${@:3}" source --download-only "$2"' _ "$out/src" "$pkg=$version" "${apt_opts[@]}"
  local dsc
  dsc=$(ls "$out/src/${pkg}_"*.dsc | head -n 1)
  rm -rf "$out/src/$name.tmp"
  quietly "unpacking $pkg" bash -c 'cd "$1" && dpkg-source --no-check -x "$2" "$3"' _ "$out/src" "$dsc" "$name.tmp"
  mv "$out/src/$name.tmp" "$out/src/$name"
}

echo "web-deps.sh: building libopenmpt and libjpeg-turbo for WebAssembly from Debian's sources (once; several minutes)"
if [ ! -f "$out/apt/lists/fetched" ]; then
  quietly "apt-get update with the private sources list" apt-get -q "${apt_opts[@]}" update
  touch "$out/apt/lists/fetched"
fi

if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  fetch libjpeg-turbo 1:2.1.5-2 libjpeg-turbo-2.1.5
  dir="$out/src/libjpeg-turbo-2.1.5"
  rm -rf "$dir/wasm" && mkdir -p "$dir/wasm"
  build_jpeg() (
    cd "$dir/wasm" && emcmake cmake .. -DWITH_SIMD=0 -DENABLE_SHARED=0 -DWITH_TURBOJPEG=0 \
      -DCMAKE_BUILD_TYPE=Release -DSIZE_T=4 -DHAVE_SIZE_T=TRUE && emmake make -j"$jobs" jpeg-static
  )
  quietly "building libjpeg-turbo" build_jpeg
  cp "$dir/wasm/libjpeg.a" "$prefix/lib/"
  cp "$dir"/{jpeglib.h,jmorecfg.h,jerror.h} "$dir/wasm/jconfig.h" "$prefix/include/"
fi

if [ ! -f "$prefix/lib/libopenmpt.a" ]; then
  fetch libopenmpt 0.6.9-1 libopenmpt-0.6.9
  dir="$out/src/libopenmpt-0.6.9"
  build_openmpt() (
    cd "$dir" && emconfigure ./configure --host=wasm32 --disable-shared --enable-static \
      --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile --without-zlib \
      --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile \
      --without-flac --disable-openmpt123 --disable-examples --disable-tests \
      --disable-doxygen-doc && emmake make -j"$jobs"
  )
  quietly "building libopenmpt" build_openmpt
  cp "$dir/.libs/libopenmpt.a" "$prefix/lib/"
  mkdir -p "$prefix/include/libopenmpt"
  cp "$dir"/libopenmpt/{libopenmpt.h,libopenmpt.hpp,libopenmpt_config.h,libopenmpt_version.h,libopenmpt_ext.h,libopenmpt_ext.hpp} \
    "$prefix/include/libopenmpt/"
fi
