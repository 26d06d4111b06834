#!/usr/bin/env bash
# The Linux build and its whole test suite on Debian 13 (gcc 14, FFmpeg 7.1, Mesa 25, CMake 3.31),
# in the userland of scripts/debian13-root.sh (made once per machine), into BUILD
# (build-debian13/ by default); the suite's package tests make and check the Debian 13 package.
# Usage: scripts/test-debian13.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=${1:-build-debian13}

root=$(scripts/debian13-root.sh)
run() {
  scripts/portable-run.sh --root "$root" -- env CCACHE_DIR=/var/cache/ccache \
    CCACHE_BASEDIR="$fxaa_repo" CCACHE_NOHASHDIR=1 "$@"
}
run cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
run cmake --build "$build" -j"$jobs"
run ctest --test-dir "$build" --output-on-failure -j"$jobs"
