#!/usr/bin/env bash
# Stages the Windows release files of BUILD (made by scripts/build-windows.sh) into DEST, the
# tree the zip holds and the installer installs:
#   FXAA.aex, fxaa.exe               stripped (the export and import tables stay)
#   frei0r\fxaa.dll                  stripped, with kdenlive\ and shotcut\ descriptions
#   README.txt                       packaging/windows-readme.txt, with CRLF line ends
#   docs\                            the guides that apply on Windows
#   licences\                        scripts/windows-licences.sh
#   openfx\FXAA.ofx.bundle\          the Win64 binary stripped, and the icon
# The binaries' PE time stamps and every file's time are SOURCE_DATE_EPOCH (the last commit's time
# by default), so the same commit stages the same tree.
# Usage: scripts/windows-stage.sh BUILD DEST VERSION
set -euo pipefail
usage="usage: windows-stage.sh BUILD DEST VERSION"
build=$(cd "${1:?$usage}" && pwd)
mkdir -p "${2:?$usage}"
dest=$(cd "$2" && pwd)
version=${3:?$usage}
cd "$(dirname "$0")/.."
# strip writes it as the PE time stamp, instead of the current time.
source scripts/source-date-epoch.sh

mkdir -p "$dest/frei0r/kdenlive" "$dest/frei0r/shotcut" "$dest/docs"
strip=x86_64-w64-mingw32-strip
$strip --strip-all -o "$dest/FXAA.aex" "$build/FXAA.aex"
$strip --strip-all -o "$dest/fxaa.exe" "$build/cli/fxaa.exe"
$strip --strip-all -o "$dest/frei0r/fxaa.dll" "$build/frei0r/fxaa.dll"
cp packaging/kdenlive/frei0r_fxaa.xml "$dest/frei0r/kdenlive/"
cp -r packaging/shotcut/fxaa "$dest/frei0r/shotcut/"
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/windows-readme.txt >"$dest/README.txt"
cp docs/cli.md docs/frei0r.md docs/farm.md docs/openfx.md docs/windows.md "$dest/docs/"
scripts/windows-licences.sh "$build" "$dest/licences" >/dev/null
bundle="$dest/openfx/FXAA.ofx.bundle"
mkdir -p "$bundle/Contents/Win64" "$bundle/Contents/Resources"
$strip --strip-all -o "$bundle/Contents/Win64/FXAA.ofx" \
  "$build/openfx/FXAA.ofx.bundle/Contents/Win64/FXAA.ofx"
cp "$build/openfx/FXAA.ofx.bundle/Contents/Resources/com.corvella.FXAA.png" "$bundle/Contents/Resources/"
find "$dest" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
