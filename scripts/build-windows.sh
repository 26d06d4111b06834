#!/usr/bin/env bash
# Cross-builds the Windows plug-in FXAA.aex, the Windows host side, tool and test programs into
# build-windows/ with mingw-w64: installs the cross tools and Wine when missing, fetches GLEW's
# source and builds GoogleTest for Windows (both cached in build-windows/_deps), then builds.
# Usage: scripts/build-windows.sh [extra CMake configure arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-windows"
deps="$build/_deps"
prefix="$deps/prefix"
toolchain="$root/cmake/toolchain-mingw64.cmake"
jobs=${FXAA_BUILD_JOBS:-2}

scripts/setup.sh --windows

mkdir -p "$deps"
scripts/fetch-glew-source.sh "$deps/glew-source" >/dev/null

# GoogleTest for the Windows test programs, from the source Debian's libgtest-dev ships.
if [[ ! -f "$prefix/lib/libgtest.a" || ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]]; then
  gtest_src=/usr/src/googletest
  [[ -f "$gtest_src/CMakeLists.txt" ]] || { echo "build-windows: $gtest_src is missing (libgtest-dev)" >&2; exit 1; }
  echo "build-windows: building GoogleTest for Windows"
  cmake -S "$gtest_src" -B "$deps/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$deps/googletest-build" -j"$jobs" >/dev/null
  cmake --install "$deps/googletest-build" >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFXAA_WINDOWS_DEPS_PREFIX="$prefix" "$@" >/dev/null
cmake --build "$build" -j"$jobs"
echo "build-windows: $build/FXAA.aex"
