#!/usr/bin/env bash
# Fetches and unpacks a Debian source package (GLEW's holds the generated src/glew.c; libpng,
# Imath, OpenEXR, CLI11, libjpeg-turbo and libtiff are built from theirs for the Windows tool)
# into DEST, unless DEST already holds it. Uses apt's ordinary client with a private source list
# and list folder, so the machine's apt configuration is untouched.
# Usage: scripts/fetch-debian-source.sh PACKAGE DEST     prints the unpacked source folder.
set -euo pipefail

usage="usage: fetch-debian-source.sh PACKAGE DEST"
package=${1:?$usage}
dest=${2:?$usage}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

# A tree counts once it was unpacked completely (the stamp is written last).
find_tree() {
  local d
  for d in "$dest/$package"-*/; do
    [[ -f "$d/.fxaa-fetched" ]] && { echo "${d%/}"; return 0; }
  done
  return 1
}
if tree=$(find_tree); then echo "$tree"; exit 0; fi

for tool in apt-get dpkg-source; do
  command -v "$tool" >/dev/null || { echo "fetch-debian-source: $tool is missing (scripts/setup.sh --windows installs it)" >&2; exit 1; }
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
  echo "fetch-debian-source: no Debian archive found in /etc/apt" >&2
  exit 1
fi

opts=(-o "Dir::Etc::SourceList=$legacy" -o "Dir::Etc::SourceParts=$work/parts"
      -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
      -o "APT::Sandbox::User=root")
mkdir -p "$work/parts"
[[ -s "$list" ]] && cp "$list" "$work/parts/"

echo "fetch-debian-source: downloading Debian's $package source package" >&2
apt-get -qq "${opts[@]}" update >&2
# Newest version first; an archive may list a version whose files its mirror does not hold, in
# which case the next older one is taken.
fetched=
for v in $(apt-cache "${opts[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
           sort -u -r -V); do
  if (cd "$work" && apt-get -qq "${opts[@]}" source --download-only "$package=$v" >&2); then
    fetched=$v
    break
  fi
  rm -f "$work"/*.dsc "$work"/*.tar.* "$work"/*.diff.gz
  echo "fetch-debian-source: $package $v could not be downloaded; trying an older version" >&2
done
if [[ -z "$fetched" ]]; then
  echo "fetch-debian-source: no source of $package could be downloaded" >&2
  exit 1
fi
dsc=$(ls "$work"/*.dsc | head -n 1)
# apt already checked every file against the signed Sources index.
dpkg-source --no-check -x "$dsc" "$work/unpacked" >&2

version=$(sed -n -E 's/^Version: ([0-9]+:)?([0-9.]+).*/\2/p' "$dsc" | head -n 1)
rm -rf "${dest:?}/$package-$version"
mv "$work/unpacked" "$dest/$package-$version"
touch "$dest/$package-$version/.fxaa-fetched"
find_tree
