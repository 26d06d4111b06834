#!/usr/bin/env bash
# Makes the Debian package for the Debian release it runs on, against that release's libraries,
# into dist/: fxaa_<version>~deb<release>_<arch>.deb, made by CPack from a Release build with
# Debian's hardening flags in BUILD (build-package/ by default), then unpacked and checked by
# tests/package/check_deb.sh. Prints the package's path. scripts/package.sh runs it on this
# machine and in the Debian 13 userland (scripts/debian13-root.sh).
# Usage: scripts/debian-package.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=${1:-build-package}
source scripts/source-date-epoch.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# The packaged targets alone: the install step does not build the rest (benchmarks).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFXAA_BUILD_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$jobs" --target fxaa FXAA fxaa_frei0r fxaa_ofx fxaa_package_files >&2
version=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[[ -n "$version" ]] || { echo "debian-package: no version in $build/CPackConfig.cmake" >&2; exit 1; }

rm -rf "$build/cpack"
mkdir -p dist
cpack --config "$build/CPackConfig.cmake" -B "$build/cpack" >/dev/null
deb=$(ls "$build"/cpack/fxaa_"$version"_*.deb)
cp "$deb" dist/
deb="dist/$(basename "$deb")"
tests/package/check_deb.sh "$deb" "$version" >&2
echo "$deb"
