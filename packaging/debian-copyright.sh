#!/usr/bin/env bash
# Writes the Debian copyright file of the fxaa package: the project's licence (LICENSE, whole),
# which of its programs the GPL covers as built here, then every library
# the given binaries link (their dynamic sections, traced to the Debian packages that ship the
# libraries) and those compiled in from the headers of the -dev packages named with --compiled-in,
# each with its licence from debian-licences.tsv. A library missing from that table is an error,
# so none can ship unnamed. A compiled-in library's notice is copied in whole: its package is not
# a dependency, so its copyright file is not on the user's machine.
# Usage: packaging/debian-copyright.sh OUTPUT [--compiled-in DEV_PACKAGE]... BINARY...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
table="$here/debian-licences.tsv"
licence="$here/../LICENSE"
out=${1:?usage: debian-copyright.sh OUTPUT [--compiled-in DEV_PACKAGE]... BINARY...}
shift

declare -A sources=()    # Debian source package -> the binary package the library came from
declare -A compiled=()   # the source packages of the compiled-in libraries
while [[ ${1-} == --compiled-in ]]; do
  package=${2:?--compiled-in needs a package}
  source=$(dpkg-query -W -f='${source:Package}' "$package") ||
    { echo "debian-copyright: $package is not installed" >&2; exit 1; }
  sources[$source]=$package
  compiled[$source]=1
  shift 2
done
(($#)) || { echo "debian-copyright: no binary given" >&2; exit 2; }

# owner PATH: the binary package that installed PATH (usr-merged paths are registered either way).
owner() {
  local path=$1 candidate
  for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path}"; do
    dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/: .*//p' | grep . && return 0
  done
  return 1
}

# Read once and searched whole: an awk that stopped at the first match would leave ldconfig
# writing into a closed pipe, and pipefail would end the script on its SIGPIPE.
cache=$(ldconfig -p)
for binary in "$@"; do
  [[ -f "$binary" ]] || { echo "debian-copyright: $binary is missing" >&2; exit 1; }
  for soname in $(readelf -d --wide "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(awk -v so="$soname" '$1 == so && /x86-64/ && !found { print $NF; found = 1 }' <<<"$cache")
    [[ -n "$path" ]] || { echo "debian-copyright: $binary links $soname, which is not installed" >&2; exit 1; }
    package=$(owner "$path") ||
      { echo "debian-copyright: no Debian package ships $path ($soname)" >&2; exit 1; }
    source=$(dpkg-query -W -f='${source:Package}' "$package")
    sources[$source]=$package
  done
done

{
  echo "fxaa: the FXAA effect plug-in for After Effects, and the fxaa tool"
  echo
  echo "https://corvella.example/fxaa"
  echo
  echo "The files of this project are under the BSD 3-Clause licence:"
  echo
  sed 's/^/    /; s/[[:space:]]*$//' "$licence"
  echo
  echo "As distributed in this package, the fxaa tool (/usr/bin/fxaa) is under the GNU"
  echo "GPL, version 2 or later: it links Debian's FFmpeg libraries, which are built with"
  echo "GPL parts (see FFmpeg below). The full text is in /usr/share/common-licenses/GPL-2."
  echo "The plug-in, the frei0r filter and the OpenFX plug-in do not link FFmpeg; they are"
  echo "under the licence above."
  echo
  echo "The programs in this package use the libraries below, installed from Debian's"
  echo "packages (the package's dependencies) or, where marked, compiled in from their"
  echo "headers. Each library's full copyright notice and licence text are in"
  echo "/usr/share/doc/<package>/copyright of the Debian package named."
  for source in $(printf '%s\n' "${!sources[@]}" | sort); do
    row=
    while IFS=$'\t' read -r pattern library licence common; do
      [[ -z "$pattern" || "$pattern" == \#* ]] && continue
      # shellcheck disable=SC2053  # the first column is a pattern
      if [[ "$source" == $pattern ]]; then row=1; break; fi
    done <"$table"
    [[ -n "$row" ]] || {
      echo "debian-copyright: no licence is known for Debian source package $source; add it to $table" >&2
      exit 1
    }
    echo
    echo "$library"
    if [[ -n "${compiled[$source]-}" ]]; then
      echo "  Compiled in from Debian's ${sources[$source]} (source package $source);"
      echo "  its notice follows at the end of this file."
    else
      echo "  Debian package: ${sources[$source]%%:*} (source package $source)"
    fi
    echo "  Licence: $licence"
    for text in $common; do
      [[ "$text" == - ]] || echo "  The full text is in /usr/share/common-licenses/$text."
    done
  done
  for source in $(printf '%s\n' "${!compiled[@]}" | sort); do
    echo
    echo "The notice of ${sources[$source]}, compiled in:"
    echo
    sed 's/^/    /; s/[[:space:]]*$//' "/usr/share/doc/${sources[$source]}/copyright"
  done
} >"$out.tmp"
mv "$out.tmp" "$out"
