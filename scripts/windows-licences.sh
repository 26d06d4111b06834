#!/usr/bin/env bash
# Gathers the licence notices of the Windows binaries of BUILD (a folder made by
# scripts/build-windows.sh) into DEST: ours, LICENSE as fxaa\LICENSE.txt (CRLF line ends, for
# Notepad), then every library linked in, one folder per Debian source package:
#   - the libraries built from Debian source packages fetched into BUILD/_deps/sources: the
#     upstream licence files at the top of each tree, and Debian's debian/copyright;
#   - the archives the link lines of FXAA.aex, fxaa.exe and fxaa.dll take from the system (mingw's zlib),
#     and the compiler's runtime linked into every program (libstdc++, libgcc, winpthreads, the
#     mingw-w64 C runtime): the copyright file of the Debian package that installed each.
# Prints the folders it wrote.
# Usage: scripts/windows-licences.sh BUILD DEST
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: windows-licences.sh BUILD DEST}" && pwd)
dest=${2:?usage: windows-licences.sh BUILD DEST}
mkdir -p "$dest/fxaa"
cxx=x86_64-w64-mingw32-g++-posix

sed 's/$/\r/' LICENSE >"$dest/fxaa/LICENSE.txt"
echo fxaa

# Fetched source trees: "<package>-<version>", complete once stamped.
shopt -s nullglob nocaseglob
for tree in "$build"/_deps/sources/*/; do
  tree=${tree%/}
  [[ -f "$tree/.fxaa-fetched" ]] || continue
  name=$(basename "$tree")
  package=${name%-*}
  [[ -d "$dest/$package" ]] && continue
  mkdir -p "$dest/$package"
  files=("$tree"/LICEN[CS]E* "$tree"/COPYING* "$tree"/COPYRIGHT* "$tree"/NOTICE*)
  [[ -f "$tree/debian/copyright" ]] && cp "$tree/debian/copyright" "$dest/$package/debian-copyright"
  ((${#files[@]})) && cp "${files[@]}" "$dest/$package/"
  if [[ -z "$(ls -A "$dest/$package")" ]]; then
    echo "windows-licences: $name holds no licence file" >&2
    exit 1
  fi
  echo "$package"
done
shopt -u nocaseglob

# System archives: absolute paths outside BUILD in the link lines, and the compiler's runtime.
archives=()
for rsp in "$build"/CMakeFiles/FXAA.dir/link.txt "$build"/CMakeFiles/FXAA.dir/*.rsp \
           "$build"/cli/CMakeFiles/fxaa.dir/link.txt "$build"/cli/CMakeFiles/fxaa.dir/*.rsp \
           "$build"/frei0r/CMakeFiles/fxaa_frei0r.dir/link.txt \
           "$build"/frei0r/CMakeFiles/fxaa_frei0r.dir/*.rsp; do
  for a in $(tr -s ' \t\n' '\n\n\n' <"$rsp" | tr -d '"' | grep -E '^/.*\.a$'); do
    [[ "$a" == "$build"/* ]] || archives+=("$a")
  done
done
for runtime in libstdc++.a libgcc.a libgcc_eh.a libwinpthread.a libmingwex.a libmsvcrt.a; do
  archives+=("$(readlink -f "$("$cxx" -print-file-name="$runtime")")")
done
for a in $(printf '%s\n' "${archives[@]}" | sort -u); do
  [[ -f "$a" ]] || { echo "windows-licences: $a is missing" >&2; exit 1; }
  binary=$(dpkg-query -S "$a" 2>/dev/null | sed -n '1s/: .*//p')
  [[ -n "$binary" ]] || { echo "windows-licences: no Debian package installed $a" >&2; exit 1; }
  package=$(dpkg-query -W -f='${source:Package}' "$binary")
  [[ -d "$dest/$package" ]] && continue
  mkdir -p "$dest/$package"
  cp "/usr/share/doc/$binary/copyright" "$dest/$package/debian-copyright"
  echo "$package"
done
