#!/usr/bin/env bash
# Stages the Windows release files of BUILD (made by scripts/build-windows.sh) into DEST, the
# tree the zip holds and the installer installs: the install component windows-release
# (cmake/ReleaseTrees.cmake), stripped:
#   FXAA.aex, fxaa.exe               (the export and import tables stay)
#   frei0r\fxaa.dll                  with kdenlive\ and shotcut\ descriptions
#   README.txt                       packaging/windows-readme.txt, with CRLF line ends
#   docs\                            the guides that apply on Windows
#   licences\                        scripts/windows-licences.sh
#   openfx\FXAA.ofx.bundle\          the Win64 binary and the icon
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
source scripts/lib.sh

release_version_is "$build" "$version"
cmake --install "$build" --component windows-release --prefix "$dest" --strip >/dev/null
find "$dest" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
