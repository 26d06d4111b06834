#!/usr/bin/env bash
# Builds the plug-in and the fxaa tool, then anti-aliases the built-in test scene and writes the
# before, after and comparison pictures to ./fxaa-demo (or the folder given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
out=${1:-fxaa-demo}

scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target fxaa FXAA
build/cli/fxaa demo --out "$out"
