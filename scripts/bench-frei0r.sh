#!/usr/bin/env bash
# Measures the frei0r filter inside ffmpeg beside the fxaa tool on the same clip: a 60-frame
# 1280x720 H.264 clip, anti-aliased by `ffmpeg -vf frei0r=fxaa` and by `fxaa`, both encoding
# libx264 at CRF 16 with its default preset (the tool's default for H.264), in alternation, and
# writes the table between the "frei0r:begin" and "frei0r:end" markers of docs/performance.md.
# BENCH_ROUNDS sets the number of rounds (default 3), BENCH_BUILD_DIR the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)
rounds=${BENCH_ROUNDS:-3}
doc=docs/performance.md

build=$(bench_build fxaa fxaa_frei0r FXAA)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1280x720:rate=24 -frames:v 60 \
  -c:v libx264 -crf 18 -pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 \
  -color_trc bt709 "$work/clip.mp4"

seconds() {  # wall seconds of a command
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}'
}
tool=() filter=()
for ((round = 1; round <= rounds; round++)); do
  tool+=("$(seconds "$build/cli/fxaa" -q "$work/clip.mp4" -o "$work/tool.mp4")")
  filter+=("$(seconds env FREI0R_PATH="$root/$build/frei0r" ffmpeg -nostdin -v error -y \
    -i "$work/clip.mp4" -vf frei0r=fxaa -c:v libx264 -crf 16 -pix_fmt yuv420p "$work/ffmpeg.mp4")")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
t=$(median "${tool[@]}") f=$(median "${filter[@]}")

{
  echo "Measured $(date -u +%Y-%m-%d) with \`scripts/bench-frei0r.sh\` ($rounds rounds, medians;"
  echo "load average $(cut -d' ' -f1 /proc/loadavg) at the end, on $(nproc) cores)."
  echo
  echo "| run | wall s, each round | median s |"
  echo "|---|---|---|"
  echo "| \`fxaa -q clip.mp4 -o out.mp4\` | ${tool[*]} | $t |"
  echo "| \`ffmpeg -i clip.mp4 -vf frei0r=fxaa -c:v libx264 -crf 16 out.mp4\` | ${filter[*]} | $f |"
  echo
  echo "ffmpeg with the filter takes $(awk -v f="$f" -v t="$t" 'BEGIN {printf "%.3f", f / t}') times the tool's wall time."
} >"$work/block.md"
cat "$work/block.md"
scripts/splice-results.sh "$doc" frei0r "$work/block.md"
