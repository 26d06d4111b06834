#!/usr/bin/env bash
# Fetches and unpacks Debian's GLEW source package (it holds the generated src/glew.c that the
# Windows build compiles) into DEST, unless DEST already holds it. Uses apt's ordinary client
# with a private source list and list folder, so the machine's apt configuration is untouched.
# Usage: scripts/fetch-glew-source.sh DEST     prints the unpacked source folder on success.
set -euo pipefail

dest=${1:?usage: fetch-glew-source.sh DEST}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

find_tree() {
  local d
  for d in "$dest"/glew-*/; do
    [[ -f "$d/src/glew.c" && -f "$d/include/GL/glew.h" ]] && { echo "${d%/}"; return 0; }
  done
  return 1
}
if tree=$(find_tree); then echo "$tree"; exit 0; fi

for tool in apt-get dpkg-source; do
  command -v "$tool" >/dev/null || { echo "fetch-glew-source: $tool is missing (scripts/setup.sh --windows installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial"

# The machine's Debian archives, as source archives. deb822 stanzas are copied with
# "Types: deb-src"; one-line entries become deb-src lines. Stanzas switched off stay off.
list="$work/debian-src.sources"
: >"$list"
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)URIs:[^\n]*debian/ && !/(^|\n)Enabled:[ \t]*no/ {
         sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$list"
done
legacy="$work/debian-src.list"
: >"$legacy"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  sed -n -E 's/^[[:space:]]*deb([[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]*debian)/deb-src\1/p' "$f" >>"$legacy"
done
if [[ ! -s "$list" && ! -s "$legacy" ]]; then
  echo "fetch-glew-source: no Debian archive found in /etc/apt" >&2
  exit 1
fi

opts=(-o "Dir::Etc::SourceList=$legacy" -o "Dir::Etc::SourceParts=$work/parts"
      -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
      -o "APT::Sandbox::User=root")
mkdir -p "$work/parts"
[[ -s "$list" ]] && cp "$list" "$work/parts/"

echo "fetch-glew-source: downloading Debian's glew source package" >&2
apt-get -qq "${opts[@]}" update >&2
(cd "$work" && apt-get -qq "${opts[@]}" source --download-only glew >&2)
dsc=$(ls "$work"/glew_*.dsc | head -n 1)
# apt already checked every file against the signed Sources index.
dpkg-source --no-check -x "$dsc" "$work/unpacked" >&2

version=$(sed -n -E 's/^Version: ([0-9.]+).*/\1/p' "$dsc" | head -n 1)
rm -rf "$dest/glew-$version"
mv "$work/unpacked" "$dest/glew-$version"
find_tree
