#!/usr/bin/env bash
# Makes the release packages in dist/:
#   fxaa_<version>~deb12_<arch>.deb, fxaa_<version>~deb13_<arch>.deb
#                               the tool, the plug-in and the frei0r filter (with its Kdenlive
#                               and Shotcut descriptions) for Debian 12 and Debian 13, each built
#                               on its release against its libraries (Debian 13's in the userland
#                               of scripts/debian13-root.sh; a Debian 13 machine makes its own
#                               alone) by scripts/debian-package.sh, and checked there by
#                               tests/package/check_deb.sh (apt, lintian);
#   FXAA-<version>-linux-x86_64.tar.gz
#                               the frei0r filter and the OpenFX bundle for any Linux with glibc
#                               2.18 or later, built in a Debian 11 userland with GLEW and the C++
#                               runtime inside (scripts/build-portable.sh, build-portable/), with
#                               a README, the guides and the licence notices
#                               (scripts/portable-package.sh); checked by
#                               scripts/test-portable.sh there;
#   FXAA-<version>-win64.zip    FXAA.aex, fxaa.exe, the frei0r filter fxaa.dll (with the
#                               editors' descriptions) and the OpenFX bundle from the Windows
#                               build (build-windows/, scripts/build-windows.sh), stripped, with a
#                               README, the guides and the licence notices of every library
#                               linked into them (scripts/windows-stage.sh); the
#                               files' exports and imports and the plug-in's resource are checked,
#                               and the tool is run from the unpacked folder under Wine;
#   FXAA-<version>-win64-setup.exe
#                               the same files in an NSIS installer (scripts/windows-installer.sh),
#                               tested under Wine by tests/windows/installer_test.sh;
#   SHA256SUMS.
# Installs what is missing and builds whatever is not built yet. Time stamps inside the packages
# are the last commit's (SOURCE_DATE_EPOCH), so the same commit gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)

scripts/setup.sh --windows --package

source scripts/source-date-epoch.sh

# --- The Debian packages, each built on its release: this machine's, and Debian 13 ------------
rm -rf dist
mkdir -p dist
debs=("$(scripts/debian-package.sh build-package)")
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build-package/CPackConfig.cmake)
if ! on_debian13; then
  trixie=$(scripts/debian13-root.sh)
  debs+=("$(scripts/portable-run.sh --root "$trixie" -- env CCACHE_DIR=/var/cache/ccache \
    SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" scripts/debian-package.sh build-package-debian13)")
fi

# --- The portable Linux tarball -------------------------------------------------------------
linux_tarball="FXAA-$version-linux-x86_64.tar.gz"
scripts/build-portable.sh
scripts/portable-package.sh build-portable "dist/$linux_tarball" "$version"
FXAA_PORTABLE_BUILT=1 scripts/test-portable.sh "dist/$linux_tarball"   # built just above

# --- The Windows zip ------------------------------------------------------------------------
scripts/build-windows.sh
name="FXAA-$version-win64"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
scripts/windows-stage.sh build-windows "$stage/$name" "$version"
# The shipped files as the host and a clean Windows see them: exports, resource, imports.
linux=$(linux_build_dir)
cmake --build "$linux" --target windows_resource_tests -j"$jobs" >/dev/null
FXAA_AEX="$stage/$name/FXAA.aex" FXAA_EXE="$stage/$name/fxaa.exe" \
  FXAA_FREI0R_DLL="$stage/$name/frei0r/fxaa.dll" \
  FXAA_OFX="$stage/$name/openfx/FXAA.ofx.bundle/Contents/Win64/FXAA.ofx" \
  "$linux/tests/windows/windows_resource_tests" --gtest_brief=1
/usr/bin/python3 tests/windows/version_resource_check.py host/effect_version.h \
  "$stage/$name/FXAA.aex" "$stage/$name/fxaa.exe" "$stage/$name/frei0r/fxaa.dll" \
  "$stage/$name/openfx/FXAA.ofx.bundle/Contents/Win64/FXAA.ofx"
# The stripped tool finds the plug-in beside it and renders (Wine's prefix: the Windows build's).
export WINEPREFIX="$root/build-windows/wineprefix"
flock /tmp/fxaa-wine.lock scripts/wine-run.sh "$stage/$name/fxaa.exe" info >"$stage/info.txt"
grep -q "FXAA v$version" "$stage/info.txt" ||
  { cat "$stage/info.txt"; echo "package: fxaa.exe info did not load the plug-in" >&2; exit 1; }
flock /tmp/fxaa-wine.lock scripts/wine-run.sh "$stage/$name/fxaa.exe" demo --out "$stage/demo" \
  >/dev/null
[[ -s "$stage/demo/comparison.png" ]] || { echo "package: fxaa.exe demo wrote nothing" >&2; exit 1; }

# zip stores local times: UTC, and every entry stamped with the commit's time, in sorted order.
find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -9 -@ "$root/dist/$name.zip")

# --- The Windows installer, from the same files -----------------------------------------------
scripts/windows-installer.sh "$stage/$name" "$version" "dist/$name-setup.exe" build-windows >/dev/null

(cd dist && sha256sum "${debs[@]#dist/}" "$linux_tarball" "$name.zip" "$name-setup.exe" >SHA256SUMS)
echo "package: wrote"
stat -c '  %n  %s bytes' dist/*
