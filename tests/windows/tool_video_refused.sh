#!/usr/bin/env bash
# The Windows tool has no video (FFmpeg is not cross-built): a video input, a video output and
# the --codec option are each refused with one line saying that video needs the Linux build,
# and nothing is written; so is a picture of a format read through libavcodec (DPX).
# Usage: tool_video_refused.sh DIR TOOL WRAPPER
set -uo pipefail
dir=${1:?usage: tool_video_refused.sh DIR TOOL WRAPPER}
tool=${2:?}
wrapper=${3:?}
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir" || exit 1
# An MP4's first bytes, under a name that does not say so: found by its content.
printf '\0\0\0\040ftypisom\0\0\002\0isomiso2avc1mp41' >clip.bin
printf 'SDPX\0\0\006\200V1.0' >scan.bin

failed=0
refused() {
  local expected=$1
  shift
  local status=0
  "$wrapper" "$tool" "$@" >out.txt 2>err.txt || status=$?
  if [[ $status -ne $expected ]] || ! grep -q "needs the Linux build" err.txt; then
    echo "fxaa $*: status $status (expected $expected): $(cat err.txt)" >&2
    failed=1
  fi
}
refused 1 clip.bin -o out.%04d.png
refused 1 in.png -o out.mp4
refused 2 in.png -o out.mp4 --codec libx264
refused 1 scan.bin -o out.png
if [[ -n "$(ls out* 2>/dev/null | grep -v -e out.txt)" ]]; then
  echo "outputs left behind: $(ls)" >&2
  failed=1
fi
exit $failed
