#!/usr/bin/env bash
# Builds fxaa_bench and the plug-in in build-bench, runs the benchmark, and puts its table into
# docs/performance.md between the "bench:begin" and "bench:end" markers.
# Arguments go to fxaa_bench (e.g. --frames 15, --uhd, --alpha-all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-bench"
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

source_dir="$root"
if ! grep -q '^[[:space:]]*add_subdirectory(bench)' CMakeLists.txt; then
  # Until the top level adds the benchmark, a small project of its own adds both.
  source_dir="$root/build-bench-wrapper"
  mkdir -p "$source_dir"
  cat >"$source_dir/CMakeLists.txt" <<WRAP
cmake_minimum_required(VERSION 3.24)
project(fxaa_bench_wrapper LANGUAGES C CXX)
add_subdirectory("$root" main)
add_subdirectory("$root/bench" bench)
WRAP
fi

# A folder configured from the other source (before or after the top level adds bench/) is redone.
if [[ -f "$build/CMakeCache.txt" ]] &&
   ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$source_dir" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFXAA_BUILD_TESTS=OFF -DFXAA_BUILD_CLI=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target fxaa_bench
bench=$(find "$build" -type f -name fxaa_bench -perm -u+x | head -n 1)

results=$(mktemp)
"$bench" "$@" | tee "$results"
# Memory kept per frame on each path, at the size where it matters most.
"$bench" --memory --frames 12 | tail -n 2 | tee -a "$results"
{
  echo "Measured $(date -u +%Y-%m-%d) on $(nproc) CPU cores ($(uname -m)), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  cat "$results"
} >"$results.block"

doc=docs/performance.md
awk -v block="$results.block" '
  /<!-- bench:begin -->/ { print; while ((getline line < block) > 0) print line; skip = 1; next }
  /<!-- bench:end -->/ { skip = 0 }
  !skip { print }
' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
rm -f "$results" "$results.block"
echo "Table written to $doc"
