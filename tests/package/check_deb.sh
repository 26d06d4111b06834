#!/usr/bin/env bash
# Checks a built fxaa Debian package without installing it: unpacked with dpkg-deb into a
# temporary folder, the tool there must find the plug-in beside it and render; the control data
# must depend on the package of every library the binaries link, the copyright file must name
# them, the manual page must cover every option the tool accepts, the bash completion must
# complete them, and lintian must report no error.
# Usage: tests/package/check_deb.sh PACKAGE.deb VERSION
set -uo pipefail
deb=$(readlink -f "${1:?usage: check_deb.sh PACKAGE.deb VERSION}")
version=${2:?usage: check_deb.sh PACKAGE.deb VERSION}
tmp=$(readlink -f "$(mktemp -d)")   # the tool reports the plug-in path with links resolved
trap 'rm -rf "$tmp"' EXIT
tree="$tmp/tree"
fxaa="$tree/usr/bin/fxaa"
plugin="$tree/usr/lib/fxaa/FXAA.so"

passed=0 failed=0
check() {   # check NAME COMMAND...: runs one check, prints its verdict and what it said
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
  fi
  [[ -z "$out" ]] || sed 's/^/     /' <<<"$out"
}

dpkg-deb -x "$deb" "$tree" || { echo "FAIL dpkg-deb could not unpack $deb"; exit 1; }

control() {
  [[ "$(dpkg-deb -f "$deb" Package)" == fxaa ]] || { echo "Package is not fxaa"; return 1; }
  [[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] ||
    { echo "Version is $(dpkg-deb -f "$deb" Version), not $version"; return 1; }
  [[ "$(basename "$deb")" == "fxaa_${version}_$(dpkg-deb -f "$deb" Architecture).deb" ]] ||
    { echo "the file is named $(basename "$deb")"; return 1; }
}

layout() {
  local f rc=0
  for f in usr/bin/fxaa usr/lib/fxaa/FXAA.so usr/share/man/man1/fxaa.1.gz \
           usr/share/bash-completion/completions/fxaa usr/share/doc/fxaa/copyright \
           usr/share/doc/fxaa/changelog.gz usr/share/doc/fxaa/cli.md; do
    [[ -s "$tree/$f" ]] || { echo "missing: /$f"; rc=1; }
  done
  return $rc
}

# The Debian packages that ship the libraries the binaries link, one per line.
linked_packages() {
  local binary soname path candidate
  for binary in "$fxaa" "$plugin"; do
    for soname in $(readelf -d --wide "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      path=$(ldconfig -p | awk -v so="$soname" '$1 == so && /x86-64/ { print $NF; exit }')
      [[ -n "$path" ]] || { echo "unresolved:$soname"; continue; }
      for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}"; do
        dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/[:,].*//p' | grep . && break
      done
    done
  done | sort -u
}

dependencies() {
  local depends package rc=0
  depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
  for package in $(linked_packages); do
    [[ "$depends" == *" $package "* ]] || { echo "Depends lacks $package:$depends"; rc=1; }
  done
  return $rc
}

copyright() {
  local package source rc=0 text="$tree/usr/share/doc/fxaa/copyright"
  for package in $(linked_packages); do
    source=$(dpkg-query -W -f='${source:Package}' "$package")
    grep -q "source package $source)" "$text" || { echo "copyright does not name $source ($package)"; rc=1; }
  done
  return $rc
}

# The tool from the unpacked tree, with no --plugin: it must take the plug-in beside it, not the
# one of the build that made it.
runs() {
  local info
  info=$("$fxaa" info) || { echo "fxaa info failed"; return 1; }
  grep -qxF "Plug-in:    $plugin" <<<"$info" || { echo "fxaa info loaded another plug-in:"; echo "$info"; return 1; }
  grep -q "FXAA v$version" <<<"$info" || { echo "About text without v$version:"; echo "$info"; return 1; }
  [[ "$("$fxaa" --version)" == "fxaa $version" ]] || { echo "--version says $("$fxaa" --version)"; return 1; }
  "$fxaa" demo --out "$tmp/demo" >/dev/null || { echo "fxaa demo failed"; return 1; }
  local f
  for f in before after comparison; do
    [[ "$(head -c 8 "$tmp/demo/$f.png" | od -An -tx1 | tr -d ' ')" == 89504e470d0a1a0a ]] ||
      { echo "$f.png is not a PNG file"; return 1; }
  done
  ! cmp -s "$tmp/demo/before.png" "$tmp/demo/after.png" || { echo "after.png equals before.png"; return 1; }
}

# Every option the tool's help lists, for the tool and each command.
tool_options() {
  local command
  for command in "" render demo info; do
    "$fxaa" $command --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | sed 's/^[ ,]*//'
  done | sort -u
}

manual() {
  local page option rc=0
  page=$(zcat "$tree/usr/share/man/man1/fxaa.1.gz" | sed 's/\\-/-/g')
  for option in $(tool_options); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$page" || { echo "the manual page lacks $option"; rc=1; }
  done
  local warnings
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tree/usr/share/man/man1/fxaa.1.gz" 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || { echo "man reports: $warnings"; rc=1; }
  return $rc
}

# complete LINE: what bash completion offers at the end of LINE, one per line.
complete_line() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    PATH="$(dirname "$2"):$PATH"
    COMP_LINE=$3; COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _fxaa fxaa "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' complete \
    "$tree/usr/share/bash-completion/completions/fxaa" "$fxaa" "$1"
}

completion() {
  [[ -f /usr/share/bash-completion/bash_completion ]] ||
    { echo "bash-completion is not installed (scripts/setup.sh --package)"; return 1; }
  local option rc=0 offered
  offered=$(complete_line "fxaa in.png --")
  for option in $(tool_options); do
    [[ $option == --out ]] && continue   # demo's own
    grep -qxF -- "$option" <<<"$offered" || { echo "'fxaa in.png --' does not offer $option"; rc=1; }
  done
  [[ "$(complete_line "fxaa demo --o")" == --out ]] || { echo "'fxaa demo --o' gives: $(complete_line "fxaa demo --o")"; rc=1; }
  [[ "$(complete_line "fxaa --source a")" == alpha ]] || { echo "'--source a' gives: $(complete_line "fxaa --source a")"; rc=1; }
  [[ "$(complete_line "fxaa i")" == *info* ]] || { echo "'fxaa i' gives: $(complete_line "fxaa i")"; rc=1; }
  return $rc
}

lintian_clean() {
  # Errors fail; warnings and notes are listed.
  lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges"
  return "${PIPESTATUS[0]}"
}

check "control fields and file name" control
check "files in place" layout
check "depends on every linked library's package" dependencies
check "copyright names every linked library" copyright
check "the unpacked tool finds its plug-in and renders the demo" runs
check "the manual page covers every option" manual
check "bash completion offers the options and values" completion
check "lintian reports no error" lintian_clean
echo "$passed passed, $failed failed"
((failed == 0))
