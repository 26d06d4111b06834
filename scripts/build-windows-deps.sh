#!/usr/bin/env bash
# Builds the libraries the Windows programs link statically, with the mingw-w64 toolchain, into
# PREFIX: GoogleTest (from the source libgtest-dev ships), and for the fxaa tool libpng, Imath,
# OpenEXR, CLI11, libjpeg-turbo and libtiff (from Debian's source packages, fetched into
# SOURCES). zlib comes from Debian's libz-mingw-w64-dev. Each library is built once; a stamp in
# PREFIX records it with its configure arguments, so a library is built again when they change.
# Usage: scripts/build-windows-deps.sh PREFIX SOURCES
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)
prefix=${1:?usage: build-windows-deps.sh PREFIX SOURCES}
sources=${2:?usage: build-windows-deps.sh PREFIX SOURCES}
toolchain="$root/cmake/toolchain-mingw64.cmake"
mkdir -p "$prefix" "$sources"
prefix=$(cd "$prefix" && pwd)

# zlib, found as a static archive (the toolchain file prefers those).
zlib=/usr/x86_64-w64-mingw32/lib/libz.a
[[ -f "$zlib" ]] || { echo "build-windows-deps: $zlib is missing (libz-mingw-w64-dev)" >&2; exit 1; }

# build NAME SOURCE_DIR [CMake arguments...]: configures, builds and installs one library.
build() {
  local name=$1 src=$2
  shift 2
  # An empty SOURCE_DIR: its fetch failed and said why; the substitution did not stop the script.
  [[ -n "$src" ]] || { echo "build-windows-deps: no source of $name to build" >&2; exit 1; }
  local stamp="$prefix/.built-$name"
  # The prefix is written as PREFIX, so a prefix copied elsewhere still counts as built (stamps
  # of older runs hold its absolute path).
  local args=${*//"$prefix"/PREFIX}
  [[ -f "$stamp" ]] && [[ "$(cat "$stamp")" == "$args" || "$(cat "$stamp")" == "$*" ]] && return 0
  echo "build-windows-deps: building $name for Windows"
  local dir="$sources/build-$name"
  rm -rf "$dir"
  local log="$sources/build-$name.log"
  if ! { cmake -S "$src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_INSTALL_PREFIX="$prefix" -DFXAA_WINDOWS_DEPS_PREFIX="$prefix" \
           "${ccache_args[@]}" "$@" &&
         cmake --build "$dir" -j"$jobs" &&
         cmake --install "$dir"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "build-windows-deps: building $name failed (whole log: $log)" >&2
    exit 1
  fi
  rm -rf "$dir"
  printf '%s' "$args" >"$stamp"
}

fetch() { scripts/fetch-debian-source.sh "$1" "$sources"; }

gtest_src=/usr/src/googletest
[[ -f "$gtest_src/CMakeLists.txt" ]] || { echo "build-windows-deps: $gtest_src is missing (libgtest-dev)" >&2; exit 1; }
build googletest "$gtest_src" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF

build libpng "$(fetch libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF

build imath "$(fetch imath)" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DPYTHON=OFF

build openexr "$(fetch openexr)" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
  -DOPENEXR_BUILD_TOOLS=OFF -DOPENEXR_INSTALL_TOOLS=OFF -DOPENEXR_INSTALL_EXAMPLES=OFF \
  -DOPENEXR_INSTALL_PKG_CONFIG=OFF -DDOCS=OFF -DImath_DIR="$prefix/lib/cmake/Imath"

build cli11 "$(fetch cli11)" -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF \
  -DCLI11_BUILD_DOCS=OFF -DCLI11_PRECOMPILED=OFF

# JPEG and TIFF files. libjpeg-turbo without its SIMD code (that needs nasm); libtiff with only
# the codecs the tool's files use: Deflate (zlib), LZW, PackBits, JPEG (the libjpeg above) and
# the CCITT fax codecs of bilevel scans.
build libjpeg-turbo "$(fetch libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF

build libtiff "$(fetch tiff)" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF \
  -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=OFF -Djpeg=ON \
  -Dold-jpeg=OFF -Djpeg12=OFF -Dpixarlog=OFF -Dzstd=OFF -Dwebp=OFF -Dlzma=OFF -Djbig=OFF \
  -Dlerc=OFF -Dccitt=ON -Dthunder=OFF -Dnext=OFF -Dlogluv=OFF -Dmdi=OFF
