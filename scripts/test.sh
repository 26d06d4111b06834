#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build (plug-in, host side, tool) on Mesa's
# software renderer, with the Debian package made from it and checked (label "package"), the
# suite under the sanitizers, the fuzz smoke run, the Windows cross-build under Wine, then the
# Debian 13 build and suite and the portable Linux modules, each in Debian userlands of their own.
# Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each phase's elapsed time, said as it ends and again at the end (the breakdown of docs/ci.md).
phases=() since=$SECONDS
phase() {
  phases+=("$(printf '%-11s %5d s' "$1" $((SECONDS - since)))")
  echo "test.sh: ${phases[-1]}"
  since=$SECONDS
}
userlands_pid=
finish() {
  if [[ -n "$userlands_pid" ]]; then kill -- -"$userlands_pid" 2>/dev/null || true; fi
  printf "test.sh: %s\n" "${phases[@]}"
}
trap finish EXIT

# Everything any phase installs, up front: no apt runs here while the userlands are made below.
scripts/setup.sh --windows --package --fuzz --portable
source scripts/lib.sh   # after the set-up, which installs ccache
phase setup

# The userlands the last two phases run in are made once per machine, which is mostly
# downloading and unpacking: on a new machine that happens here, beside the builds. Their phases
# call the same scripts, which wait for a making under way and, should it have failed, make them
# again where the failure is seen; this log keeps the first try's output.
userlands_log=$(mktemp -t fxaa-userlands.XXXXXX)
makers=(scripts/portable-root.sh scripts/portable-runtime-root.sh)
on_debian13 || makers=(scripts/debian13-root.sh "${makers[@]}")
setsid bash -c 'for m; do "$m" || exit; done; echo "made in $SECONDS s"' makers "${makers[@]}" \
  >"$userlands_log" 2>&1 </dev/null &
userlands_pid=$!

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${ccache_args[@]}" >/dev/null
cmake --build build -j"$jobs"
phase build
ctest --test-dir build --output-on-failure -j"$jobs"
phase Linux

# The suite again under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, but for
# the codec matrices and the farm job (scripts/test-sanitizers.sh).
scripts/test-sanitizers.sh
phase sanitizers

# The image readers under libFuzzer, AddressSanitizer and UBSan: a short run, fixed seed.
scripts/fuzz.sh --smoke
phase fuzz

if [[ -x scripts/test-windows.sh ]]; then
  scripts/test-windows.sh
  phase Windows
fi

if wait "$userlands_pid"; then
  echo "test.sh: userlands $(tail -n 1 "$userlands_log"), beside the builds"
else
  echo "test.sh: making the userlands beside the builds failed (trying again below):" >&2
  tail -n 20 "$userlands_log" >&2
fi
userlands_pid=
rm -f "$userlands_log"
phase userlands

# The same build and suite on Debian 13, in a userland of its own, where this machine runs
# another release.
on_debian13 || scripts/test-debian13.sh
phase "Debian 13"

# The Linux tarball's frei0r filter and OpenFX bundle, built in a Debian 11 userland and run in
# another that holds only a desktop's ffmpeg, melt and Mesa, against this build's tool; then by
# Debian 13's hosts.
scripts/test-portable.sh
phase portable
