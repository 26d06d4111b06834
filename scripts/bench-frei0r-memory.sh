#!/usr/bin/env bash
# melt's peak resident size with the frei0r filter on every clip of a timeline: 1920x1080 H.264
# clips of three frames each, consumer null, the filter attached to each clip (one instance per
# clip, as Kdenlive and Shotcut make them). Prints one line per run.
# Usage: scripts/bench-frei0r-memory.sh FREI0R_FOLDER [CLIP_COUNTS...] (default 1 8 32)
set -euo pipefail
folder=$(realpath "$1")
shift
counts=("${@:-1 8 32}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 3 -c:v libx264 \
  -pix_fmt yuv420p "$work/clip.mp4"
peak() {  # melt's arguments: its peak resident size in MB
  FREI0R_PATH="$folder" /usr/bin/time -f %M -o "$work/rss" melt -silent "$@" -consumer null \
    terminate_on_pause=1 2>/dev/null
  echo $(($(cat "$work/rss") / 1024))
}
for n in ${counts[*]}; do
  with=() without=()
  for ((i = 0; i < n; i++)); do
    with+=("$work/clip.mp4" -attach-cut frei0r.fxaa)
    without+=("$work/clip.mp4")
  done
  echo "$n clips: with the filter $(peak "${with[@]}") MB, without $(peak "${without[@]}") MB"
done
