#!/usr/bin/env bash
# ffmpeg, melt and gst-launch-1.0 write their media to standard output while every frame through
# the frei0r module fails (run with no EGL vendor, so no OpenGL context can be made). The stream
# must be the one the host would write with the frames passed on unchanged: nothing of the
# effect's diagnostics in it, and standard error saying once why the frames were not rendered.
# Usage: frei0r_stdout_test.sh MODULE_FOLDER
set -euo pipefail
source "$(dirname "$0")/melt_profile.sh"
export FREI0R_PATH=$1 MLT_FREI0R_PLUGIN_PATH=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export GST_REGISTRY=$work/registry.bin HOME=$work

width=96 height=64 frames=6
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=${width}x$height:r=25" -frames:v "$frames" \
  -c:v ffv1 -pix_fmt bgra in.mkv
ffmpeg -nostdin -v error -i in.mkv -pix_fmt rgba in%d.png
rgba() { ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba - | md5sum | cut -d' ' -f1; }
want=$(rgba in.mkv)
melt_profile "$width" "$height" profile

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# what, stream file, its host's standard error
check() {
  local what=$1 stream=$2 log=$3 decode_errors got reports
  if grep -a -q -e 'EGL error' -e 'FXAA' "$stream"; then fail "$what: the effect's text is in the stream"; fi
  decode_errors=$(ffmpeg -nostdin -v error -i "$stream" -f null - 2>&1 || echo "ffmpeg failed")
  [[ -z "$decode_errors" ]] || fail "$what: the stream does not decode cleanly: $decode_errors"
  got=$(rgba "$stream")
  [[ "$got" == "$want" ]] || fail "$what: the frames are not the input's, passed on unchanged"
  reports=$(grep -c 'passed on unchanged, not anti-aliased' "$log" || true)
  [[ "$reports" == 1 ]] || fail "$what: standard error said why $reports times, not once"
  grep -q 'EGL error' "$log" || fail "$what: the effect's own diagnostics are not on standard error"
  echo "checked: $what"
}

for container in matroska nut; do
  ffmpeg -nostdin -v error -i in.mkv -vf frei0r=fxaa -c:v ffv1 -pix_fmt bgra -f "$container" - \
    >"ffmpeg.$container" 2>"ffmpeg-$container.log"
  check "ffmpeg -f $container -" "ffmpeg.$container" "ffmpeg-$container.log"
done

melt -silent -profile profile in.mkv -filter frei0r.fxaa -consumer avformat:pipe:1 f=matroska \
  vcodec=ffv1 pix_fmt=bgra an=1 real_time=-1 >melt.mkv 2>melt.log
check "melt avformat:pipe:1" melt.mkv melt.log

# Raw frames on fd 1: a stray line would shift every frame after it.
gst-launch-1.0 -q multifilesrc location=in%d.png index=1 stop-index=$frames \
  caps=image/png,framerate=25/1 ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! \
  frei0r-filter-fxaa ! fdsink fd=1 >gst.rgba 2>gst.log
ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgba -s "${width}x$height" -i gst.rgba \
  -c:v ffv1 -pix_fmt bgra gst.mkv
[[ $(stat -c %s gst.rgba) == $((width * height * 4 * frames)) ]] ||
  fail "gst-launch-1.0 fdsink: $(stat -c %s gst.rgba) bytes, not $frames frames"
check "gst-launch-1.0 fdsink fd=1" gst.mkv gst.log

exit $((failures > 0))
