#!/usr/bin/env bash
# The portable Linux modules as users get them: built in the Debian 11 userland
# (scripts/build-portable.sh), packed as the release tarball (or TARBALL, the one
# scripts/package.sh made), unpacked, read for what they need of the system
# (tests/portable/check_binaries.sh), and run, in a Debian 11 userland that holds only what a
# user's desktop does (scripts/portable-runtime-root.sh), by its ffmpeg and melt and by an OpenFX
# host built in the build userland, against the fxaa tool of the ordinary build
# (tests/portable/hosts_test.sh); then in the same userland without libEGL, where they must
# refuse clearly (tests/portable/no_egl_test.sh); then by Debian 13's ffmpeg, melt and GStreamer.
# The first run on a machine makes the userlands (minutes, once).
# Usage: scripts/test-portable.sh [TARBALL]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=build-portable

# The test host, and the modules when no TARBALL is given; scripts/package.sh has just built
# them (FXAA_PORTABLE_BUILT=1).
[[ -n "${FXAA_PORTABLE_BUILT:-}" ]] || scripts/build-portable.sh "$build"
root=$(scripts/portable-runtime-root.sh)
linux=$(linux_build_dir)
cmake --build "$linux" --target fxaa FXAA -j"$jobs" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if (($#)); then
  tarball=$(realpath "$1")
else
  version=$(sed -n -E 's/^#define FXAA_(MAJOR|MINOR|BUG)_VERSION ([0-9]+).*/\2/p' host/effect_version.h |
            paste -sd.)
  tarball="$work/FXAA-$version-linux-x86_64.tar.gz"
  scripts/portable-package.sh "$build" "$tarball" "$version"
fi
mkdir "$work/unpacked"
tar -C "$work/unpacked" -xzf "$tarball"
top="$work/unpacked/$(basename "$tarball" .tar.gz)"
[[ $(ls "$work/unpacked") == "$(basename "$top")" ]] ||
  { echo "FAIL: $(basename "$tarball") does not hold one folder named after it" >&2; exit 1; }
bundle="$top/openfx/FXAA.ofx.bundle/Contents"
for f in README.txt frei0r/fxaa.so frei0r/kdenlive/frei0r_fxaa.xml frei0r/shotcut/fxaa/meta.qml \
         frei0r/shotcut/fxaa/ui.qml openfx/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx \
         openfx/FXAA.ofx.bundle/Contents/Resources/com.corvella.FXAA.png licences/glew/LICENSE.txt \
         licences/gcc-10/debian-copyright; do
  [[ -s "$top/$f" ]] || { echo "FAIL: the tarball has no $f" >&2; exit 1; }
done

tests/portable/check_binaries.sh "$top/frei0r/fxaa.so" "$bundle/Linux-x86-64/FXAA.ofx"
tests/portable/hosts_test.sh "$linux/cli/fxaa" "$top" "$build/tests/portable/ofx_render_raw" "$root"
tests/portable/no_egl_test.sh "$top" "$build/tests/portable/ofx_render_raw" "$root"
echo "test-portable: the tarball's modules pass in the Debian 11 runtime userland, and refuse without EGL"
# And on the current release, in the Debian 13 userland of scripts/test-debian13.sh (this
# machine's own system is one already where it runs Debian 13), with an OpenFX host built there.
if ! on_debian13; then
  root13=$(scripts/debian13-root.sh)
  mkdir "$work/host13"
  scripts/portable-run.sh --root "$root13" --bind "$PWD" --bind "$work/host13" -- \
    g++ -std=c++17 -O1 -I"$PWD" "$PWD/tests/portable/ofx_render_raw.cpp" \
    "$PWD/tests/openfx/ofx_test_host.cpp" -o "$work/host13/ofx_render_raw" -ldl -pthread
  tests/portable/hosts_test.sh "$linux/cli/fxaa" "$top" "$work/host13/ofx_render_raw" "$root13"
  echo "test-portable: the tarball's modules pass in the Debian 13 userland"
fi
