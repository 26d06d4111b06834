#!/usr/bin/env bash
# The unpacked Linux tarball's modules on a system without libEGL.so.1: a hard-linked copy of the
# Debian 11 runtime userland (scripts/portable-runtime-root.sh) with the library taken out. The
# frei0r filter must still load in ffmpeg and pass frames on, and the OpenFX bundle must load and
# fail the render, neither crashing, both saying on standard error, and the bundle through the
# host's messages too, which library is missing and which packages bring it.
# Usage: no_egl_test.sh UNPACKED_FOLDER OFX_RENDER_RAW ROOT
set -euo pipefail
usage="usage: no_egl_test.sh UNPACKED_FOLDER OFX_RENDER_RAW ROOT"
repo=$(cd "$(dirname "$0")/../.." && pwd)
unpacked=$(realpath "${1:?$usage}")
ofx_host=$(realpath "${2:?$usage}")
root=$(realpath "${3:?$usage}")
if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
bare="$root.no-egl.$$"
work=$(mktemp -d)
trap '$SUDO rm -rf "$bare"; rm -rf "$work"' EXIT
# Hard links: a copy in seconds, and nothing of the original changes when the link goes.
$SUDO cp -al "$root" "$bare"
$SUDO rm -f "$bare"/usr/lib/x86_64-linux-gnu/libEGL.so*
cd "$work"
inroot() {
  "$repo/scripts/portable-run.sh" --root "$bare" --bind "$work" --bind "$unpacked" \
    --bind "$(dirname "$ofx_host")" -- env FREI0R_PATH="$unpacked/frei0r" "$@"
}
failures=0
# what, exit status, its standard error
refuses() {
  local said
  said=$(cat "$3")
  if (($2 >= 128)); then echo "FAIL: $1 ended on signal $(($2 - 128))"; failures=$((failures + 1)); fi
  for words in "libEGL.so.1" "libegl1" "libegl-mesa0" "mesa-libEGL" "Flatpak"; do
    [[ "$said" == *"$words"* ]] || { echo "FAIL: $1 does not name $words"; failures=$((failures + 1)); }
  done
  echo "$1 said:"; sed 's/^/  /' "$3"
}

inroot ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=64x48:rate=5 -frames:v 2 \
  -vf frei0r=fxaa -f rawvideo -y out.rgba 2>ffmpeg.log && rc=0 || rc=$?
((rc == 0)) || { echo "FAIL: ffmpeg without libEGL exits $rc (the filter must pass frames on)"; failures=$((failures + 1)); }
if grep -q "Could not find module" ffmpeg.log; then echo "FAIL: ffmpeg does not load the filter"; failures=$((failures + 1)); fi
refuses "the frei0r filter in ffmpeg" "$rc" ffmpeg.log

head -c $((8 * 8 * 4)) /dev/zero >in.rgba
bundle="$unpacked/openfx/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx"
inroot "$ofx_host" "$bundle" 8 8 100 8 in.rgba out.rgba 2>ofx.log && rc=0 || rc=$?
((rc == 1)) || { echo "FAIL: the OpenFX host without libEGL exits $rc, not 1 (a failed render)"; failures=$((failures + 1)); }
grep -q "^ofx_render_raw: OfxMessageError: .*libegl1" ofx.log ||
  { echo "FAIL: the host's messages do not say what is missing"; failures=$((failures + 1)); }
refuses "the OpenFX bundle" "$rc" ofx.log
exit $((failures > 0))
