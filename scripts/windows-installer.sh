#!/usr/bin/env bash
# Makes the Windows installer (packaging/windows-installer.nsi, NSIS, 64-bit) from a folder
# staged by scripts/windows-stage.sh: the staged tree goes into the program folder, and its
# openfx\FXAA.ofx.bundle (when there is one) into Common Files\OFX\Plugins. Writes files.nsh for
# the script: an install and an uninstall macro per tree, one line per file and folder, so the
# uninstaller removes exactly what was installed. The installer's own PATH editor,
# installer/fxaa-path.exe, comes from the Windows build BUILD (stripped, inside the installer only).
# Usage: scripts/windows-installer.sh STAGE VERSION OUTPUT.exe BUILD
set -euo pipefail
usage="usage: windows-installer.sh STAGE VERSION OUTPUT.exe BUILD"
stage=$(cd "${1:?$usage}" && pwd)
version=${2:?$usage}
out=${3:?$usage}
build=$(cd "${4:?$usage}" && pwd)
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
cd "$(dirname "$0")/.."
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "windows-installer: version '$version' is not x.y.z" >&2; exit 2; }
command -v makensis >/dev/null ||
  { echo "windows-installer: makensis is missing (scripts/setup.sh --windows)" >&2; exit 2; }
[[ -f "$stage/FXAA.aex" && -f "$stage/fxaa.exe" ]] ||
  { echo "windows-installer: $stage holds no staged release" >&2; exit 2; }
[[ -f "$build/installer/fxaa-path.exe" ]] ||
  { echo "windows-installer: $build/installer/fxaa-path.exe is not built" >&2; exit 2; }
# The company and copyright the binaries' version resources name.
header_string() { sed -n "s/^#define $1 \"\(.*\)\"\$/\1/p" host/effect_version.h; }
company=$(header_string FXAA_COMPANY_NAME)
copyright=$(header_string FXAA_COPYRIGHT)
[[ -n "$company" && -n "$copyright" ]] ||
  { echo "windows-installer: no company or copyright in host/effect_version.h" >&2; exit 2; }
source scripts/source-date-epoch.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# tree NAME DIR TARGET [EXCLUDED]: the macros Install<NAME> and Uninstall<NAME> for DIR's files
# below TARGET (a Windows path); EXCLUDED, a subfolder of DIR, is left out. Uninstalling deletes
# each file by name and then each folder deepest first, so a folder holding anything else stays.
tree() {
  local name=$1 dir=$2 target=$3 excluded=${4:-} rel f src i
  local -a dirs files
  local -a prune=()
  [[ -n "$excluded" ]] && prune=(-path "./$excluded" -prune -o)
  mapfile -t dirs < <(cd "$dir" && find . "${prune[@]}" -type d -print | LC_ALL=C sort)
  mapfile -t files < <(cd "$dir" && find . "${prune[@]}" -type f -print | LC_ALL=C sort)
  for f in "${dirs[@]}" "${files[@]}"; do
    [[ "$f" != *[\"\*\?\<\>\|]* && "$f" != *[[:cntrl:]]* ]] ||
      { echo "windows-installer: $f cannot be a Windows file name" >&2; exit 1; }
  done
  win() { local p=${1#.}; p=${p//\$/\$\$}; printf '%s' "${p//\//\\}"; }
  echo "!macro Install$name"
  for rel in "${dirs[@]}"; do
    echo "  SetOutPath \"$target$(win "$rel")\""
    for f in "${files[@]}"; do
      if [[ "$(dirname "$f")" == "$rel" ]]; then
        src="$dir/${f#./}"
        echo "  File \"${src//\$/\$\$}\""
      fi
    done
  done
  echo "!macroend"
  echo "!macro Uninstall$name"
  for f in "${files[@]}"; do echo "  Delete \"$target$(win "$f")\""; done
  for ((i = ${#dirs[@]} - 1; i >= 0; i--)); do
    echo "  RMDir \"$target$(win "${dirs[i]}")\""
  done
  echo "!macroend"
}

# The uninstaller left in the program folder is NSIS's own code.
program="$work/program"
cp -a "$stage" "$program"
mkdir -p "$program/licences/nsis"
cp /usr/share/doc/nsis-common/copyright "$program/licences/nsis/debian-copyright"
touch -h -d "@$SOURCE_DATE_EPOCH" "$program/licences/nsis" "$program/licences/nsis/debian-copyright"
{
  tree ProgramFiles "$program" '$INSTDIR' openfx
  if [[ -d "$program/openfx/FXAA.ofx.bundle" ]]; then
    echo "!define HAVE_OFX_BUNDLE"
    tree OfxBundle "$program/openfx/FXAA.ofx.bundle" '$COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle'
  fi
} >"$work/files.nsh"
cp packaging/windows-installer.nsi "$work/"
x86_64-w64-mingw32-strip --strip-all -o "$work/fxaa-path.exe" "$build/installer/fxaa-path.exe"

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$program" -DOUTFILE="$out" \
  -DPATH_HELPER="$work/fxaa-path.exe" -DCOMPANY="$company" -DCOPYRIGHT="$copyright" \
  "$work/windows-installer.nsi"
touch -d "@$SOURCE_DATE_EPOCH" "$out"
echo "windows-installer: $out"
