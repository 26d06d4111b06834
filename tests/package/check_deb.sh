#!/usr/bin/env bash
# Checks a built fxaa Debian package without installing it. Unpacked with dpkg-deb, the tool must
# find the plug-in beside it and render; the frei0r filter must sit where the hosts look, export
# the f0r_ functions alone, be found by ffmpeg and MLT through FREI0R_PATH (the unpacked tree
# stands in for /usr/lib/frei0r-1) and render, and the Kdenlive and Shotcut descriptions must
# agree with what it reports; Depends and the copyright file must name the package of every
# library the binaries link, and the copyright file must carry LICENSE; the manual page and the
# bash completion must know every option the tool accepts; apt must find its dependencies in this
# release; lintian must report no error (its warnings are listed).
# Usage: tests/package/check_deb.sh PACKAGE.deb VERSION (the package's: 1.2.0~deb13)
set -uo pipefail
deb=$(readlink -f "${1:?usage: check_deb.sh PACKAGE.deb VERSION}")
version=${2:?usage: check_deb.sh PACKAGE.deb VERSION}
tool_version=${version%%~*}   # without the Debian release it is built for
tmp=$(readlink -f "$(mktemp -d)")   # the tool reports the plug-in's path with links resolved
trap 'rm -rf "$tmp"' EXIT
tree="$tmp/tree"
fxaa="$tree/usr/bin/fxaa"
plugin="$tree/usr/lib/fxaa/FXAA.so"
frei0r_dir="$tree/usr/lib/frei0r-1"
module="$frei0r_dir/fxaa.so"
bundle="$tree/usr/OFX/Plugins/FXAA.ofx.bundle"
ofx="$bundle/Contents/Linux-x86-64/FXAA.ofx"
dpkg-deb -x "$deb" "$tree" || { echo "FAIL dpkg-deb could not unpack $deb"; exit 1; }

passed=0 failed=0
check() {   # check NAME COMMAND...: runs one check, prints its verdict and what it said
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then passed=$((passed + 1)); echo "ok   $name"
  else failed=$((failed + 1)); echo "FAIL $name"; fi
  [[ -z "$out" ]] || sed 's/^/     /' <<<"$out"
}

# The tool from the unpacked tree with no --plugin: it must take the plug-in installed with it,
# not the one of the build that made it.
runs() {
  [[ "$(basename "$deb")" == "fxaa_${version}_$(dpkg-deb -f "$deb" Architecture).deb" &&
     "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || { echo "not version $version"; return 1; }
  [[ "$("$fxaa" --version)" == "fxaa $tool_version" ]] || { echo "--version: $("$fxaa" --version)"; return 1; }
  local info
  info=$("$fxaa" info) && grep -qxF "Plug-in:    $plugin" <<<"$info" &&
    grep -q "FXAA v$tool_version" <<<"$info" || { echo "fxaa info:"; echo "$info"; return 1; }
  "$fxaa" demo --out "$tmp/demo" >/dev/null || { echo "fxaa demo failed"; return 1; }
  [[ "$(head -c 4 "$tmp/demo/comparison.png" | od -An -c | tr -d ' ')" == 211PNG ]] &&
    ! cmp -s "$tmp/demo/before.png" "$tmp/demo/after.png" || { echo "the demo's pictures are wrong"; return 1; }
}

# The Debian packages that ship the libraries the binaries link, one per line.
linked_packages() {
  local soname path candidate
  for soname in $(readelf -d --wide "$fxaa" "$plugin" "$module" "$ofx" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldconfig -p | awk -v so="$soname" '$1 == so && /x86-64/ && !found { print $NF; found = 1 }')
    for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}"; do
      dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/[:,].*//p' | grep . && continue 2
    done
    echo "unresolved:$soname"
  done | sort -u
}

dependencies_and_copyright() {
  local package rc=0 depends
  depends=" $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
  for package in $(linked_packages); do
    [[ "$depends" == *" $package "* ]] || { echo "Depends lacks $package:$depends"; rc=1; }
    grep -q "source package $(dpkg-query -W -f='${source:Package}' "$package"))" \
      "$tree/usr/share/doc/fxaa/copyright" || { echo "copyright does not name $package"; rc=1; }
  done
  return $rc
}

# LICENSE whole: the package's one copy of the licence of our files.
own_licence() {
  local want
  want=$(sed 's/^/    /; s/[[:space:]]*$//' "$(dirname "$0")/../../LICENSE")
  [[ "$(<"$tree/usr/share/doc/fxaa/copyright")" == *"$want"* ]] || { echo "copyright lacks LICENSE"; return 1; }
}

# Every option the help of the tool and of its commands lists.
tool_options() {
  local command
  for command in "" render demo info frames join; do
    "$fxaa" $command --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | sed 's/^[ ,]*//'
  done | sort -u
}

manual() {
  local page option rc=0 warnings
  page=$(zcat "$tree/usr/share/man/man1/fxaa.1.gz" | sed 's/\\-/-/g')
  for option in $(tool_options); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$page" || { echo "the manual lacks $option"; rc=1; }
  done
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tree/usr/share/man/man1/fxaa.1.gz" 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || { echo "man: $warnings"; rc=1; }
  return $rc
}

# complete LINE: what bash completion offers at the end of LINE, one per line.
complete_line() {
  bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" || exit 1
    PATH="$(dirname "$2"):$PATH" COMP_LINE=$3 COMP_POINT=${#3}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _fxaa fxaa "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' complete \
    "$tree/usr/share/bash-completion/completions/fxaa" "$fxaa" "$1"
}

completion() {
  local option rc=0 offered
  offered=$(complete_line "fxaa in.png --")
  for option in $(tool_options); do   # render is the default command; --out is demo's
    [[ $option == @(--out|--streams-from) ]] || grep -qxF -- "$option" <<<"$offered" || { echo "'fxaa in.png --' lacks $option"; rc=1; }
  done
  grep -qxF -- --streams-from <<<"$(complete_line "fxaa join p.mkv --")" ||
    { echo "'fxaa join p.mkv --' lacks --streams-from"; rc=1; }
  [[ "$(complete_line "fxaa demo --o")" == --out && "$(complete_line "fxaa --source a")" == alpha &&
     "$(complete_line "fxaa i")" == *info* ]] || { echo "subcommands or values are not completed"; rc=1; }
  return $rc
}

# The interface's functions, and nothing else: hosts look the names up, and any other export could
# clash with a host's own symbols or another module's.
frei0r_exports() {
  [[ -f "$module" ]] || { echo "no usr/lib/frei0r-1/fxaa.so in the package"; return 1; }
  local exported wanted
  exported=$(nm -D --defined-only "$module" | awk '{ print $NF }' | sort)
  wanted=$(printf 'f0r_%s\n' construct deinit destruct get_param_info get_param_value \
    get_plugin_info init set_param_value update | sort)
  [[ -z "$(grep -v '^f0r_' <<<"$exported")" && -z "$(comm -13 <(echo "$exported") <(echo "$wanted"))" ]] ||
    { echo "exports:"; echo "$exported"; return 1; }
}

# The bundle where Linux OpenFX hosts look, as they expect it laid out, exporting the two
# functions of the interface alone.
ofx_bundle() {
  [[ -f "$ofx" && -f "$bundle/Contents/Resources/com.corvella.FXAA.png" ]] ||
    { echo "no FXAA.ofx.bundle with its binary and icon in usr/OFX/Plugins"; return 1; }
  local exported
  exported=$(nm -D --defined-only "$ofx" | awk '{ print $NF }' | sort | tr '\n' ' ')
  [[ "$exported" == "OfxGetNumberOfPlugins OfxGetPlugin " ]] || { echo "exports: $exported"; return 1; }
  ldd "$ofx" | grep -q 'not found' && { ldd "$ofx"; return 1; }
  return 0
}

editor_descriptions() {
  local share="$tree/usr/share"
  FREI0R_PATH="$frei0r_dir" melt -query filter=frei0r.fxaa 2>/dev/null |
    python3 "$(dirname "$0")/check_editors.py" "$share/kdenlive/effects/frei0r_fxaa.xml" \
      "$share/shotcut/qml/filters/fxaa/meta.qml" "$share/shotcut/qml/filters/fxaa/ui.qml"
}

# A hard diagonal through ffmpeg's frei0r filter: the frame must come back anti-aliased, not
# passed on unchanged (what the module does with a frame it cannot render).
ffmpeg_renders() {
  local log
  ffmpeg -v error -f lavfi -i "nullsrc=s=96x64,format=gray,geq=lum='255*gt(X\,1.7*Y)'" \
    -frames:v 1 "$tmp/edge.png" || return 1
  ffmpeg -v error -i "$tmp/edge.png" -vf format=rgba -f rawvideo -pix_fmt rgba "$tmp/edge.rgba" || return 1
  log=$(FREI0R_PATH="$frei0r_dir" ffmpeg -v error -i "$tmp/edge.png" -vf frei0r=fxaa \
    -f rawvideo -pix_fmt rgba "$tmp/fxaa.rgba" 2>&1) || { echo "$log"; return 1; }
  [[ -z "$log" && "$(stat -c %s "$tmp/fxaa.rgba")" == $((96 * 64 * 4)) ]] &&
    ! cmp -s "$tmp/edge.rgba" "$tmp/fxaa.rgba" || { echo "the frame is not anti-aliased: $log"; return 1; }
}

# Every guide the README sends users to is in the package, but those for another platform or
# for the project's developers.
guides() {
  local guide rc=0
  for guide in $(grep -o 'docs/[a-z0-9-]*\.md' "$(dirname "$0")/../../README.md" | sort -u); do
    [[ $guide == docs/@(windows|performance|reliability|ci).md ]] && continue
    [[ -f "$tree/usr/share/doc/fxaa/$(basename "$guide")" ]] || { echo "no $guide"; rc=1; }
  done
  return $rc
}

# apt's own resolution, simulated: every package Depends names exists in this release, at the
# version asked (a package built on another release asks for libraries this one lacks).
installable() {
  local out
  out=$(apt-get install --simulate --no-install-recommends "$deb" 2>&1) || { echo "$out"; return 1; }
}

lintian_clean() {
  lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges"
  return "${PIPESTATUS[0]}"
}

check "the unpacked tool finds its plug-in and renders the demo" runs
check "the frei0r filter is in usr/lib/frei0r-1 and exports only f0r_ functions" frei0r_exports
check "Kdenlive and Shotcut describe the filter as MLT loads it" editor_descriptions
check "the OpenFX bundle is in usr/OFX/Plugins and exports only its two functions" ofx_bundle
check "ffmpeg finds the unpacked frei0r filter and anti-aliases a frame" ffmpeg_renders
check "Depends and copyright name every linked library's package" dependencies_and_copyright
check "copyright carries our licence" own_licence
check "the manual page covers every option" manual
check "bash completion offers the options and values" completion
check "the README's Linux guides are in usr/share/doc/fxaa" guides
check "its dependencies install on this release (apt, simulated)" installable
check "lintian reports no error" lintian_clean
echo "$passed passed, $failed failed"
((failed == 0))
