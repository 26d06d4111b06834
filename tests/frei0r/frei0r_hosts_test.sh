#!/usr/bin/env bash
# ffmpeg, melt and gst-launch-1.0 each render RGBA frames through the frei0r module, found by
# FREI0R_PATH as an installed one is found in its folder, at the defaults and at one other
# setting; their frames must equal the tool's bit for bit. melt also renders with two frames in
# flight on two instances, which must give the same frames as one.
# Usage: frei0r_hosts_test.sh FXAA_TOOL MODULE_FOLDER
set -euo pipefail
source "$(dirname "$0")/host_frames.sh"
tool=$1
export FREI0R_PATH=$2 MLT_FREI0R_PLUGIN_PATH=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export GST_REGISTRY=$work/registry.bin HOME=$work

host_frames "$tool"

for ref in tool tool2; do
  ff -i in%d.png -vf "frei0r=fxaa${ffparams[$ref]}" -pix_fmt rgba "ffmpeg-$ref-%d.png"
  same "ffmpeg, ${what[$ref]}" "$ref/in%d.png" "ffmpeg-$ref-%d.png"

  # shellcheck disable=SC2086
  melt -silent -profile profile in.mkv -filter frei0r.fxaa ${mltparams[$ref]} \
    -consumer "avformat:melt-$ref.mkv" vcodec=ffv1 pix_fmt=bgra an=1 real_time=-1 2>melt.log
  same "melt, ${what[$ref]}" "$ref/in%d.png" "melt-$ref.mkv"

  # shellcheck disable=SC2086
  gst-launch-1.0 -q multifilesrc location=in%d.png index=1 stop-index=3 \
    caps=image/png,framerate=25/1 ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! \
    frei0r-filter-fxaa ${gstparams[$ref]} ! videoconvert ! video/x-raw,format=RGBA ! pngenc ! \
    multifilesink location="gst-$ref-%d.png" index=1
  same "gst-launch-1.0, ${what[$ref]}" "$ref/in%d.png" "gst-$ref-%d.png"
done

# Two frames in flight, each on an instance of its own.
melt -silent -profile profile in.mkv -filter frei0r.fxaa -consumer avformat:melt-two.mkv \
  vcodec=ffv1 pix_fmt=bgra an=1 real_time=-2 2>melt.log
same "melt, two frames at once" "tool/in%d.png" "melt-two.mkv"

exit $((failures > 0))
