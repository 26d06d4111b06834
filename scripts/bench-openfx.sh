#!/usr/bin/env bash
# Measures the OpenFX plug-in's frame time through the tests' OpenFX host beside the tool's pure
# render of the same 1920x1080 frames, 8-bit and float, the two alternating frame by frame, and
# writes the table between the "openfx:begin" and "openfx:end" markers of docs/performance.md.
# BENCH_ROUNDS sets the number of rounds (default 30), BENCH_BUILD_DIR the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD_DIR:-build-bench}  # any folder configured without sanitizers
rounds=${BENCH_ROUNDS:-30}
doc=docs/performance.md

scripts/setup.sh
[[ -f "$build/CMakeCache.txt" ]] ||
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXAA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target fxaa_ofx_bench

table=$("$build/bench/fxaa_ofx_bench" "$rounds")
block=$(mktemp)
trap 'rm -f "$block"' EXIT
{
  echo "Measured $(date -u +%Y-%m-%d) with \`scripts/bench-openfx.sh\` (medians over $rounds rounds;"
  echo "load average $(cut -d' ' -f1 /proc/loadavg) at the end, on $(nproc) cores)."
  echo
  echo "$table"
} >"$block"
awk -v block="$block" '
  /<!-- openfx:begin -->/ { print; while ((getline line < block) > 0) print line; skip = 1; next }
  /<!-- openfx:end -->/ { skip = 0 }
  !skip' "$doc" >"$doc.new"
mv "$doc.new" "$doc"
cat "$block"
