#!/usr/bin/env bash
# Packs the portable Linux modules of BUILD (made by scripts/build-portable.sh) into TARBALL, a
# .tar.gz whose one top folder, named after it, is the install component portable-release
# (cmake/ReleaseTrees.cmake), installed stripped inside the Debian 11 userland the build used:
#   openfx/FXAA.ofx.bundle/    the Linux-x86-64 binary and the icon
#   frei0r/fxaa.so             with kdenlive/ and shotcut/ descriptions
#   README.txt                 packaging/linux-readme.txt: where each piece goes, for each host
#   docs/                      the guides of the two
#   licences/                  GLEW's (compiled in) and gcc's (its C++ runtime and libgcc are)
# Every file's time is SOURCE_DATE_EPOCH (the last commit's by default), owners are root and the
# entries sorted, so the same commit packs the same file.
# Usage: scripts/portable-package.sh BUILD TARBALL VERSION
set -euo pipefail
usage="usage: portable-package.sh BUILD TARBALL VERSION"
build=$(cd "${1:?$usage}" && pwd)
tarball=${2:?$usage}
version=${3:?$usage}
mkdir -p "$(dirname "$tarball")"
tarball="$(cd "$(dirname "$tarball")" && pwd)/$(basename "$tarball")"
name=$(basename "$tarball" .tar.gz)
cd "$(dirname "$0")/.."
source scripts/lib.sh
source scripts/source-date-epoch.sh
root=$(scripts/portable-root.sh)

release_version_is "$build" "$version"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dest="$stage/$name"
# Inside the userland: its CMake made BUILD, and its gcc's copyright is the one that applies.
scripts/portable-run.sh --root "$root" --bind "$build" --bind "$stage" -- \
  cmake --install "$build" --component portable-release --prefix "$dest" --strip >/dev/null

find "$dest" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mode=go-w,u+w -cf - "$name" |
  gzip -9 -n >"$tarball"
