#!/usr/bin/env bash
# The unpacked Linux tarball's modules on a system with libEGL.so.1 but no driver for it, then
# without libEGL.so.1: a hard-linked copy of the Debian 11 runtime userland
# (scripts/portable-runtime-root.sh) with Mesa's EGL vendor file, then the library, taken out.
# Each time the frei0r filter must still load in ffmpeg and pass frames on, and the OpenFX bundle
# must load and fail the render, neither crashing, both saying on standard error, and the bundle
# through the host's messages too, what is missing and which packages bring it.
# Usage: no_egl_test.sh UNPACKED_FOLDER OFX_RENDER_RAW ROOT
set -euo pipefail
usage="usage: no_egl_test.sh UNPACKED_FOLDER OFX_RENDER_RAW ROOT"
repo=$(cd "$(dirname "$0")/../.." && pwd)
unpacked=$(realpath "${1:?$usage}")
ofx_host=$(realpath "${2:?$usage}")
root=$(realpath "${3:?$usage}")
source "$repo/scripts/lib.sh"
bare="$root.no-egl.$$"
work=$(mktemp -d)
trap '$SUDO rm -rf "$bare"; rm -rf "$work"' EXIT
# Hard links: a copy in seconds, and nothing of the original changes when the link goes.
$SUDO cp -al "$root" "$bare"
cd "$work"
inroot() {
  "$repo/scripts/portable-run.sh" --root "$bare" --bind "$work" --bind "$unpacked" \
    --bind "$(dirname "$ofx_host")" -- env FREI0R_PATH="$unpacked/frei0r" "$@"
}
failures=0
# what, exit status, its standard error, what it must name besides the packages
refuses() {
  local said
  said=$(cat "$3")
  if (($2 >= 128)); then echo "FAIL: $1 ended on signal $(($2 - 128))"; failures=$((failures + 1)); fi
  for words in "$4" "libegl1" "libegl-mesa0" "mesa-libEGL" "Flatpak"; do
    [[ "$said" == *"$words"* ]] || { echo "FAIL: $1 does not name $words"; failures=$((failures + 1)); }
  done
  echo "$1 said:"; sed 's/^/  /' "$3"
}

head -c $((8 * 8 * 4)) /dev/zero >in.rgba
bundle="$unpacked/openfx/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx"
# what is missing, what the messages must name
both() {
  local rc
  inroot ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=64x48:rate=5 -frames:v 2 \
    -vf frei0r=fxaa -f rawvideo -y out.rgba 2>ffmpeg.log && rc=0 || rc=$?
  ((rc == 0)) || { echo "FAIL: ffmpeg with $1 exits $rc (the filter must pass frames on)"; failures=$((failures + 1)); }
  if grep -q "Could not find module" ffmpeg.log; then echo "FAIL: ffmpeg does not load the filter"; failures=$((failures + 1)); fi
  refuses "the frei0r filter in ffmpeg with $1" "$rc" ffmpeg.log "$2"

  inroot "$ofx_host" "$bundle" 8 8 100 8 in.rgba out.rgba 2>ofx.log && rc=0 || rc=$?
  ((rc == 1)) || { echo "FAIL: the OpenFX host with $1 exits $rc, not 1 (a failed render)"; failures=$((failures + 1)); }
  grep -q "^ofx_render_raw: OfxMessageError: .*$2.*libegl1" ofx.log ||
    { echo "FAIL: the host's messages with $1 do not say what is missing"; failures=$((failures + 1)); }
  refuses "the OpenFX bundle with $1" "$rc" ofx.log "$2"
}
$SUDO rm "$bare"/usr/share/glvnd/egl_vendor.d/50_mesa.json
both "no EGL driver" "no display"
$SUDO rm "$bare"/usr/lib/x86_64-linux-gnu/libEGL.so*
both "no libEGL" "libEGL.so.1"
exit $((failures > 0))
