#!/usr/bin/env bash
# The unpacked Linux tarball's modules in a userland of another release: the Debian 11 one that
# holds what a user's desktop does, no GL library but Mesa's EGL
# (scripts/portable-runtime-root.sh), or the Debian 13 one (scripts/debian13-root.sh). Its own
# ffmpeg and melt, and GStreamer where it has it, run the frei0r filter, found by FREI0R_PATH in
# the tarball's frei0r/, and the test host (ofx_render_raw, built in a userland of that release
# or an older one) runs the tarball's OpenFX bundle, on that release's llvmpipe. Their frames must equal the fxaa
# tool's, built here the ordinary way and run here (Mesa of this system), on the same RGBA frames
# at the defaults and at one other setting.
# Usage: hosts_test.sh FXAA_TOOL UNPACKED_FOLDER OFX_RENDER_RAW ROOT
set -euo pipefail
usage="usage: hosts_test.sh FXAA_TOOL UNPACKED_FOLDER OFX_RENDER_RAW ROOT"
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/tests/frei0r/host_frames.sh"
tool=$(realpath "${1:?$usage}")
unpacked=$(realpath "${2:?$usage}")
ofx_host=$(realpath "${3:?$usage}")
root=${4:?$usage}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A command in the userland, with the tarball, the test host and this folder at their own paths.
inroot() {
  "$repo/scripts/portable-run.sh" --root "$root" --bind "$work" --bind "$unpacked" \
    --bind "$(dirname "$ofx_host")" -- env FREI0R_PATH="$unpacked/frei0r" \
    MLT_FREI0R_PLUGIN_PATH="$unpacked/frei0r" "$@"
}
host_frames "$tool"
for i in 1 2 3; do ff -i "in$i.png" -f rawvideo -pix_fmt rgba "in$i.rgba"; done
declare -A ofxparams=([tool]="100 8" [tool2]="50 4")

release="Debian $(sed -n -E 's/^VERSION_ID="?([0-9]+)"?$/\1/p' "$root/etc/os-release")"
inroot ffmpeg -version | head -n 1
inroot melt -version 2>&1 | head -n 1
gstreamer=$([[ -x "$root/usr/bin/gst-launch-1.0" ]] && echo yes || true)
bundle="$unpacked/openfx/FXAA.ofx.bundle/Contents/Linux-x86-64/FXAA.ofx"
for ref in tool tool2; do
  inroot ffmpeg -nostdin -v error -y -i in%d.png -vf "frei0r=fxaa${ffparams[$ref]}" \
    -pix_fmt rgba "ffmpeg-$ref-%d.png"
  same "$release's ffmpeg, ${what[$ref]}" "$ref/in%d.png" "ffmpeg-$ref-%d.png"

  # shellcheck disable=SC2086
  inroot melt -silent -profile profile in.mkv -filter frei0r.fxaa ${mltparams[$ref]} \
    -consumer "avformat:melt-$ref.mkv" vcodec=ffv1 pix_fmt=bgra an=1 real_time=-1 2>melt.log
  same "$release's melt, ${what[$ref]}" "$ref/in%d.png" "melt-$ref.mkv"

  # shellcheck disable=SC2086
  inroot "$ofx_host" "$bundle" "$width" "$height" ${ofxparams[$ref]} \
    in1.rgba "ofx-$ref-1.rgba" in2.rgba "ofx-$ref-2.rgba" in3.rgba "ofx-$ref-3.rgba"
  cat "ofx-$ref-1.rgba" "ofx-$ref-2.rgba" "ofx-$ref-3.rgba" >"ofx-$ref.rgba"
  same "the OpenFX bundle in an OpenFX host on $release, ${what[$ref]}" \
    "$ref/in%d.png" "ofx-$ref.rgba"

  [[ -n "$gstreamer" ]] || continue
  # shellcheck disable=SC2086
  inroot env GST_REGISTRY="$work/gst-registry.bin" HOME="$work" gst-launch-1.0 -q multifilesrc \
    location=in%d.png index=1 stop-index=3 caps=image/png,framerate=25/1 ! pngdec ! \
    videoconvert ! video/x-raw,format=RGBA ! frei0r-filter-fxaa ${gstparams[$ref]} ! \
    videoconvert ! video/x-raw,format=RGBA ! pngenc ! multifilesink location="gst-$ref-%d.png" \
    index=1
  same "$release's GStreamer, ${what[$ref]}" "$ref/in%d.png" "gst-$ref-%d.png"
done

exit $((failures > 0))
