#!/usr/bin/env bash
# Measures the OpenFX plug-in's frame time through the tests' OpenFX host beside the tool's pure
# render of the same 1920x1080 frames, 8-bit and float, the two alternating frame by frame, and
# a host's resident memory while it renders 1920x1080 float frames on 1, 2, 8 and 16 threads
# (each count in a process of its own), and writes the tables between the "openfx" and
# "openfx-memory" markers of docs/performance.md. BENCH_ROUNDS sets the number of rounds (default
# 30), BENCH_BUILD_DIR the build folder; BENCH_OFX_COMPARE another build of FXAA.ofx whose memory
# is measured too, in rows named BENCH_OFX_COMPARE_NAME (default "compared").
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
rounds=${BENCH_ROUNDS:-30}
doc=docs/performance.md

build=$(bench_build fxaa_ofx_bench fxaa_ofx_memory_bench)

table=$("$build/bench/fxaa_ofx_bench" "$rounds")
block=$(mktemp)
trap 'rm -f "$block"' EXIT
{
  echo "Measured $(date -u +%Y-%m-%d) with \`scripts/bench-openfx.sh\` (medians over $rounds rounds;"
  echo "load average $(cut -d' ' -f1 /proc/loadavg) at the end, on $(nproc) cores)."
  echo
  echo "$table"
} >"$block"
scripts/splice-results.sh "$doc" openfx "$block"
cat "$block"

# Memory: the plug-in built here, then the other build when one is given.
{
  echo "Measured $(date -u +%Y-%m-%d) with \`scripts/bench-openfx.sh\` (3 frames a thread)."
  echo
  "$build/bench/fxaa_ofx_memory_bench" --header
  for threads in 1 2 8 16; do
    "$build/bench/fxaa_ofx_memory_bench" "$threads" 3 "this build"
  done
  if [[ -n "${BENCH_OFX_COMPARE:-}" ]]; then
    for threads in 1 2 8 16; do
      "$build/bench/fxaa_ofx_memory_bench" "$threads" 3 "${BENCH_OFX_COMPARE_NAME:-compared}" \
        "$BENCH_OFX_COMPARE"
    done
  fi
} >"$block"
scripts/splice-results.sh "$doc" openfx-memory "$block"
cat "$block"
