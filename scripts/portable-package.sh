#!/usr/bin/env bash
# Packs the portable Linux modules of BUILD (made by scripts/build-portable.sh) into TARBALL, a
# .tar.gz whose one top folder, named after it, holds:
#   openfx/FXAA.ofx.bundle/    the Linux-x86-64 binary, stripped, and the icon
#   frei0r/fxaa.so             stripped, with kdenlive/ and shotcut/ descriptions
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
source scripts/source-date-epoch.sh
root=$(scripts/portable-root.sh)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dest="$stage/$name"
bundle="$dest/openfx/FXAA.ofx.bundle/Contents"
mkdir -p "$bundle/Linux-x86-64" "$bundle/Resources" "$dest/frei0r/kdenlive" "$dest/frei0r/shotcut" \
  "$dest/docs" "$dest/licences/glew" "$dest/licences/gcc-10"
strip --strip-all -o "$bundle/Linux-x86-64/FXAA.ofx" \
  "$build/openfx/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx"
cp "$build/openfx/FXAA.ofx.bundle/Contents/Resources/com.corvella.FXAA.png" "$bundle/Resources/"
strip --strip-all -o "$dest/frei0r/fxaa.so" "$build/frei0r/fxaa.so"
cp packaging/kdenlive/frei0r_fxaa.xml "$dest/frei0r/kdenlive/"
cp -r packaging/shotcut/fxaa "$dest/frei0r/shotcut/"
sed "s/@VERSION@/$version/" packaging/linux-readme.txt >"$dest/README.txt"
cp docs/frei0r.md docs/openfx.md "$dest/docs/"

# GLEW: the tree it was compiled from (complete once stamped).
glew=$(ls -d "$build"/_deps/sources/glew-*/ | head -n 1)
[[ -f "$glew/.fxaa-fetched" && -f "$glew/LICENSE.txt" ]] ||
  { echo "portable-package: no fetched GLEW tree with its licence in $build/_deps/sources" >&2; exit 1; }
cp "$glew/LICENSE.txt" "$dest/licences/glew/"
cp "$glew/debian/copyright" "$dest/licences/glew/debian-copyright"
# libstdc++ and libgcc: the copyright of the gcc the root built them with.
cp "$root/usr/share/doc/gcc-10-base/copyright" "$dest/licences/gcc-10/debian-copyright"

find "$dest" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mode=go-w,u+w -cf - "$name" |
  gzip -9 -n >"$tarball"
