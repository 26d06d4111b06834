#!/usr/bin/env bash
# Builds the fuzz targets of the fxaa tool's image readers (clang's libFuzzer with AddressSanitizer
# and UBSan) in build-fuzz/, writes their seed corpora, and runs each reader for a bounded time.
#
# Usage: scripts/fuzz.sh [SECONDS] [READER ...]   SECONDS per reader, default 60; READER png, exr,
#                                                 tiff, jpeg or stills (the formats read through
#                                                 libavcodec), default all five
#        scripts/fuzz.sh --smoke                  a short run with a fixed seed and input count
#
# The corpus each run grows is kept in build-fuzz/corpus/. Inputs that crash, hang or exhaust
# memory land in build-fuzz/findings/ and make the script fail. Shrink one with
#   build-fuzz/fuzz/fuzz_png_reader -minimize_crash=1 -runs=20000 FILE
# and keep it, once fixed, in tests/cli/fuzz_regressions/: cli_unit_tests reads every file there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

seconds=60
runs=
seed=
if [[ "${1:-}" == "--smoke" ]]; then
  runs=4000
  seed=1
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
readers=("$@")
((${#readers[@]})) || readers=(png exr tiff jpeg stills)
for r in "${readers[@]}"; do
  [[ "$r" =~ ^(png|exr|tiff|jpeg|stills)$ ]] || { echo "fuzz.sh: unknown reader '$r' (png, exr, tiff, jpeg or stills)" >&2; exit 2; }
done

scripts/setup.sh --fuzz

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFXAA_BUILD_FUZZERS=ON -DFXAA_BUILD_TESTS=OFF -DFXAA_BUILD_CLI=OFF "${ccache_args[@]}" >/dev/null
targets=(make_fuzz_seeds)
for r in "${readers[@]}"; do targets+=("fuzz_${r}_reader"); done
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

rm -rf "$build/seeds"
"$build/fuzz/make_fuzz_seeds" "$build/seeds"
mkdir -p "$build/findings"

failed=0
for r in "${readers[@]}"; do
  mkdir -p "$build/corpus/$r"
  options=(-timeout=10 -rss_limit_mb=2048 -dict="fuzz/$r.dict" -print_final_stats=1
           -artifact_prefix="$build/findings/$r-")
  if [[ -n "$runs" ]]; then
    options+=(-runs="$runs" -seed="$seed")
    corpus=("$build/seeds/$r")  # the same inputs every time: a smoke run never differs
  else
    options+=(-max_total_time="$seconds")
    corpus=("$build/corpus/$r" "$build/seeds/$r")
  fi
  echo "fuzz.sh: $r reader" >&2
  if ! "$build/fuzz/fuzz_${r}_reader" "${options[@]}" "${corpus[@]}"; then
    failed=1
  fi
done
if ((failed)); then
  echo "fuzz.sh: findings in $build/findings/" >&2
  exit 1
fi
