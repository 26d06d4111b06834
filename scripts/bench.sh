#!/usr/bin/env bash
# Measures the plug-in and rewrites the results in docs/performance.md, in one command: builds
# build-bench (or BENCH_BUILD_DIR), runs fxaa_bench (frames and stages of the plug-in beside the bare pipeline) and
# fxaa_tool_bench (the fxaa tool on a 60-frame 1920x1080 PNG sequence, its freed memory kept and
# released in alternation), draws docs/performance-frame-times.png with gnuplot, and puts the
# tables between the "bench:begin" and "bench:end" markers of docs/performance.md.
# Arguments go to fxaa_bench (e.g. --frames 30 --case-seconds 60, --memory keep); BENCH_TOOL_FRAMES
# sets the sequence's length (default 60), BENCH_TOOL_FRAMES=0 leaves the tool out;
# BENCH_TOOL_ROUNDS the tool's runs with each memory setting (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
doc=docs/performance.md
plot=docs/performance-frame-times.png
tool_frames=${BENCH_TOOL_FRAMES:-60}
tool_rounds=${BENCH_TOOL_ROUNDS:-3}

if ! command -v gnuplot >/dev/null; then
  echo "Installing: gnuplot-nox"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends gnuplot-nox
fi

build=$(bench_build fxaa_bench fxaa_tool_bench)

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
start=$(date +%s)
"$build/bench/fxaa_bench" --data "$results/frame-times.tsv" "$@" | tee "$results/bench.md"
if (( tool_frames > 0 )); then
  "$build/bench/fxaa_tool_bench" --frames "$tool_frames" --rounds "$tool_rounds" |
    tee "$results/tool.md"
fi
minutes=$(( ($(date +%s) - start + 59) / 60 ))

renderer=$(sed -n 's/^GL_RENDERER: \(.*\)  $/\1/p' "$results/bench.md")
gnuplot -e "data='$results/frame-times.tsv'; out='$plot'; subtitle='${renderer//\'/}'" \
  bench/frame_times.gp

{
  args=""
  if (( $# > 0 )); then args=$(printf ' %q' "$@"); fi
  echo "Measured $(date -u +%Y-%m-%d) in $minutes minutes: \`scripts/bench.sh$args\`."
  echo
  cat "$results/bench.md"
  echo
  echo "![Time per frame and per megapixel against frame size]($(basename "$plot"))"
  if [[ -s "$results/tool.md" ]]; then
    echo
    echo "### The fxaa tool on a ${tool_frames}-frame 1920x1080 PNG sequence"
    echo
    cat "$results/tool.md"
  fi
} >"$results/block.md"

scripts/splice-results.sh "$doc" bench "$results/block.md"
echo "Results written to $doc and $plot"
