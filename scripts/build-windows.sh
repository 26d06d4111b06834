#!/usr/bin/env bash
# Cross-builds the Windows plug-in FXAA.aex, the Windows host side, the fxaa tool and the test
# programs into build-windows/ with mingw-w64: installs the cross tools and Wine when missing,
# fetches GLEW's source and builds the libraries the programs link (all cached in
# build-windows/_deps, see scripts/build-windows-deps.sh), then builds.
# Usage: scripts/build-windows.sh [extra CMake configure arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)
build="$root/build-windows"
deps="$build/_deps"
prefix="$deps/prefix"
toolchain="$root/cmake/toolchain-mingw64.cmake"

scripts/setup.sh --windows

mkdir -p "$deps"
scripts/fetch-debian-source.sh glew "$deps/sources" >/dev/null
scripts/build-windows-deps.sh "$prefix" "$deps/sources"

# jemalloc is Linux's: said outright, so a folder configured before keeps no other answer.
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFXAA_WINDOWS_DEPS_PREFIX="$prefix" -DFXAA_USE_JEMALLOC=OFF "${ccache_args[@]}" "$@" >/dev/null
cmake --build "$build" -j"$jobs"
echo "build-windows: $build/FXAA.aex"
