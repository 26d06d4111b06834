#!/usr/bin/env bash
# fxaa.exe unpacked into folders named in Spanish, Polish and Japanese (and one in ASCII), run
# from there on files named in the same language: it finds the plug-in beside it, reads and
# writes PNG, OpenEXR, TIFF and JPEG, makes an output folder, reads a sequence named with
# Windows' backslashes, and names the files right in its messages. Each folder's outputs are the
# ASCII folder's, byte for byte.
# Usage: tool_any_folder.sh OUT TOOL WRAPPER   (WRAPPER runs TOOL, e.g. scripts/wine-run.sh)
set -uo pipefail
usage="usage: tool_any_folder.sh OUT TOOL WRAPPER"
out=${1:?$usage}
tool=$(cd "$(dirname "${2:?$usage}")" && pwd)/$(basename "$2")
wrapper=$(cd "$(dirname "${3:?$usage}")" && pwd)/$(basename "$3")
# Wine reads Linux file names and arguments in the locale's character set.
export LC_ALL=C.UTF-8

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

failed=0
fail() { echo "FAIL $*"; failed=1; }
fxaa() { "$wrapper" FXAA/fxaa.exe "$@"; }

# Each language: its folder, then the names of the input, output folder and outputs.
languages=(
  "ascii|FXAA tools|input|output|colour|scene|sequence"
  "Spanish|Herramientas Ñ|Proyección|Salida ü|Corrección|Escena|Secuencia"
  "Polish|Narzędzia|Łódź|Wynik ż|Próba|Scena źródłowa|Sekwencja"
  "Japanese|日本語のツール|入力画像|出力|色補正|場面|連番"
)
for entry in "${languages[@]}"; do
  IFS='|' read -r language folder input output colour scene sequence <<<"$entry"
  dir="$out/$folder"
  mkdir -p "$dir/FXAA"
  cp "$tool" "$(dirname "$tool")/FXAA.aex" "$dir/FXAA/"
  cd "$dir" || exit 1
  echo "== $language: $dir"
  fxaa demo --out "demo" -q >/dev/null || fail "$language: the demo"
  cp demo/before.png "$input.png"
  # A name ending in a backslash is a folder, made for the output named after the input.
  fxaa "$input.png" -o "$output\\" -q || fail "$language: PNG into a new folder"
  fxaa "$input.png" --span 4 -o "$output/$colour.png" -q || fail "$language: PNG"
  fxaa "$input.png" --strength 0 --depth float -o "$scene.exr" -q || fail "$language: EXR out"
  fxaa "$scene.exr" -o "$output/$colour.exr" -q || fail "$language: EXR in"
  fxaa "$scene.exr" --strength 0 -o "$scene.tif" -q || fail "$language: TIFF out"
  fxaa "$scene.tif" --source alpha -o "$output/$colour.tif" -q || fail "$language: TIFF in"
  fxaa "$input.png" --strength 0 --quality 90 -o "$scene.jpg" -q || fail "$language: JPEG out"
  fxaa "$scene.jpg" -o "$output/$colour.jpg" -q || fail "$language: JPEG in"
  mkdir -p "$sequence"
  for i in 1 2 3; do cp demo/before.png "$sequence/$scene.000$i.png"; done
  # Absolute, as Windows writes it (Wine's Z: is /).
  windows_dir="Z:${dir//\//\\}"
  fxaa "$windows_dir\\$sequence\\$scene.%04d.png" -o "$output\\$sequence.%04d.png" -q ||
    fail "$language: a sequence named with backslashes"
  info=$(fxaa info) || fail "$language: info"
  grep -qF "$folder\\FXAA\\FXAA.aex" <<<"$info" ||
    fail "$language: info does not name the plug-in beside the tool: $(head -1 <<<"$info")"
  message=$(fxaa "$input-missing.png" -o "$output/x.png" 2>&1)
  grep -qF "$input-missing.png: no such file" <<<"$message" ||
    fail "$language: the message does not name the file: $message"
done

# The same bytes in every folder, output for output.
outputs() {   # outputs ENTRY: the outputs of one language's folder, in one order for every language
  local language folder input output colour scene sequence
  IFS='|' read -r language folder input output colour scene sequence <<<"$1"
  printf '%s\n' "$folder/demo/before.png" "$folder/demo/after.png" "$folder/demo/comparison.png" \
    "$folder/$output/$input.png" "$folder/$output/$colour".{png,exr,tif,jpg} \
    "$folder/$output/$sequence".000{1,2,3}.png
}
mapfile -t reference < <(outputs "${languages[0]}")
for entry in "${languages[@]:1}"; do
  mapfile -t files < <(outputs "$entry")
  for i in "${!files[@]}"; do
    [[ -f "$out/${reference[i]}" && -f "$out/${files[i]}" ]] ||
      { fail "${files[i]} or ${reference[i]} was not written"; continue; }
    cmp -s "$out/${reference[i]}" "$out/${files[i]}" || fail "${files[i]} differs from ${reference[i]}"
  done
done
((failed == 0)) && echo "every folder's outputs are the ASCII folder's"
exit $failed
