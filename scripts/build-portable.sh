#!/usr/bin/env bash
# Builds the Linux modules that load on other systems than this one into BUILD (build-portable/
# by default): the frei0r filter (frei0r/fxaa.so) and the OpenFX bundle (openfx/FXAA.ofx.bundle),
# with ofx_render_raw, the test host that runs the bundle. They are compiled in the Debian 11
# userland of scripts/portable-root.sh (glibc 2.31, gcc 10, CMake 3.18), Release with the usual
# hardening, GLEW compiled in from Debian's source package (fetched into BUILD/_deps/sources, the
# same GLEW the Windows build carries) and gcc 10's C++ runtime linked in.
# Usage: scripts/build-portable.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=${1:-build-portable}

scripts/setup.sh --portable
root=$(scripts/portable-root.sh)
mkdir -p "$build"
build=$(cd "$build" && pwd)
glew=$(scripts/fetch-debian-source.sh glew "$build/_deps/sources")

run() {
  scripts/portable-run.sh --root "$root" --bind "$build" -- env CCACHE_DIR=/var/cache/ccache \
    CCACHE_BASEDIR="$fxaa_repo" CCACHE_NOHASHDIR=1 "$@"
}
hardening="-fstack-protector-strong -fstack-clash-protection -fcf-protection -D_FORTIFY_SOURCE=2"
run cmake -S . -B "$build" -DFXAA_PORTABLE=ON -DCMAKE_BUILD_TYPE=Release \
  -DFXAA_GLEW_SOURCE_DIR="$glew" \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_C_FLAGS="$hardening" -DCMAKE_CXX_FLAGS="$hardening" \
  -DCMAKE_MODULE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
run cmake --build "$build" -j"$jobs" --target fxaa_frei0r fxaa_ofx ofx_render_raw
