#!/usr/bin/env bash
# Runs one fixed set of fxaa tool commands into OUT: the demo scene, the scene as float EXR,
# 16-bit PNG, 16-bit and float TIFF and JPEG, both modes at both world depths, a sequence on three
# render threads, and an output replaced in place. The Windows tool runs it under Wine, the Linux tool here; windows_match_tests
# then compares the two folders file by file.
# Usage: tool_runs.sh OUT TOOL [WRAPPER]   (WRAPPER runs TOOL, e.g. scripts/wine-run.sh)
set -euo pipefail
out=${1:?usage: tool_runs.sh OUT TOOL [WRAPPER]}
tool=${2:?usage: tool_runs.sh OUT TOOL [WRAPPER]}
wrapper=${3:-}

absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
tool=$(absolute "$tool")
[[ -z "$wrapper" ]] || wrapper=$(absolute "$wrapper")

rm -rf "$out"
mkdir -p "$out"
cd "$out"
# Paths stay relative, so that both platforms see the same names.
fxaa() {
  echo "+ fxaa $*"
  if [[ -n "$wrapper" ]]; then "$wrapper" "$tool" "$@"; else "$tool" "$@"; fi
}

fxaa demo --out demo -q
fxaa demo/before.png --strength 0 --depth float -o scene-float.exr -q
fxaa demo/before.png --strength 0 --depth 16 -o scene-16.png -q
fxaa scene-float.exr -o colour-float.exr -q
fxaa scene-float.exr --source alpha -o alpha-float.exr -q
fxaa demo/before.png --source alpha --strength 60 -o alpha-8.png -q
fxaa scene-16.png --span 4 -o colour-16.png -q
fxaa scene-16.png --strength 0 -o scene-16.tif -q
fxaa scene-16.tif --span 4 -o colour-16.tif -q
fxaa scene-float.exr --strength 0 -o scene-float.tif -q
fxaa scene-float.tif --source alpha -o alpha-float.tif -q
fxaa demo/before.png --strength 0 --quality 90 -o scene.jpg -q
fxaa scene.jpg -o colour.jpg -q
mkdir -p sequence
for i in 1 2 3 4 5 6; do
  cp demo/before.png "sequence/in.000$i.png"
done
fxaa "sequence/in.%04d.png" --frames 1-6 --threads 3 -o "sequence/out.%04d.png" -q
rm sequence/in.*.png
# Replacing an existing output goes through the same temporary-file rename; a rooted input path
# is an input, not an option.
fxaa demo/before.png -o colour-8.png -q
fxaa "$PWD/demo/before.png" -o colour-8.png -q
ls -R
