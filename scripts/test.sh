#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build (plug-in, host side, tool) on Mesa's
# software renderer, with the Debian package made from it and checked (label "package"), the
# portable Linux modules in a Debian 11 userland, then the Windows cross-build under Wine.
# Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# Each phase's elapsed time, said as it ends and again at the end (the breakdown of docs/ci.md).
phases=() since=$SECONDS
phase() {
  phases+=("$(printf '%-11s %5d s' "$1" $((SECONDS - since)))")
  echo "test.sh: ${phases[-1]}"
  since=$SECONDS
}
trap 'printf "test.sh: %s\n" "${phases[@]}"' EXIT

scripts/setup.sh --windows --package
phase setup

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
phase build
ctest --test-dir build --output-on-failure -j"$jobs"
phase Linux

# The same build and suite on Debian 13, in a userland of its own (made once per machine), where
# this machine runs another release.
grep -q '^VERSION_ID="13"' /etc/os-release || scripts/test-debian13.sh
phase "Debian 13"

# The Linux tarball's frei0r filter and OpenFX bundle, built in a Debian 11 userland (made once per
# machine) and run there by its ffmpeg, melt and an OpenFX host, against this build's tool.
scripts/test-portable.sh
phase portable

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
