#!/usr/bin/env bash
# Builds the Linux suite a second time in build-asan with AddressSanitizer and
# UndefinedBehaviorSanitizer (the first report ends the process) and runs it there, with leak
# checking on. Mesa's own leaks are suppressed in scripts/sanitizer-suppressions.txt. Left out:
# the codec matrices (label "slow-codec": one case of each path stays) and the Slurm job
# ("farm"), which exercise FFmpeg's codecs and the shell more than our code; the plain build runs
# them. FXAA_SANITIZE_ALL=1 runs them here too.
# Usage: scripts/test-sanitizers.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)

scripts/setup.sh

# -O0 halves the build time against -O1; the run time is llvmpipe's, whose code is not
# instrumented, so optimising ours gains little.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFXAA_SANITIZE=ON -DFXAA_USE_JEMALLOC=OFF "${ccache_args[@]}" \
  -DCMAKE_C_FLAGS="-O0 -g" -DCMAKE_CXX_FLAGS="-O0 -g" -DCMAKE_EXE_LINKER_FLAGS= \
  -DCMAKE_SHARED_LINKER_FLAGS= -DCMAKE_MODULE_LINKER_FLAGS= >/dev/null
cmake --build build-asan -j"$jobs"

# Every report fails the test that caused it: ASan and UBSan abort, LSan makes the exit code 23.
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizer-suppressions.txt:print_suppressions=0"

# Mesa's EGL library and its driver are unloaded when the last display is terminated, and a
# leak whose code is no longer mapped names no library, so no suppression could tell Mesa's
# leaks from ours. Loaded first, both stay for the whole process, and what they keep stays
# reachable from their own memory.
preload=""
for library in $(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1) \
               $(ldconfig -p | awk '/libEGL_mesa\.so\.0 / {print $NF; exit}'); do
  preload="$preload${preload:+:}$library"
done
if [[ -n "$preload" ]]; then
  export LD_PRELOAD="$preload${LD_PRELOAD:+:$LD_PRELOAD}"
  ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
fi
skip=(-LE '^(slow-codec|farm)$')
[[ "${FXAA_SANITIZE_ALL:-0}" == 1 ]] && skip=()
ctest --test-dir build-asan --output-on-failure -j"$jobs" "${skip[@]}" "$@"
