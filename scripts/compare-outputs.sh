#!/usr/bin/env bash
# Renders one corpus of inputs with two builds of the tool and compares every output byte for
# byte: a check that a change to the tool's frame path changed no output.
# Usage: scripts/compare-outputs.sh OLD_FXAA NEW_FXAA [WORK_FOLDER]
#   Each FXAA is the tool's executable; it loads the plug-in beside it or its build's own.
#   WORK_FOLDER (default: a new temporary folder) receives corpus/, old/ and new/.
# Exit status 0 when every output is the same, 1 when any differs or a run's status differs.
set -euo pipefail

old=$(realpath "$1")
new=$(realpath "$2")
work=${3:-$(mktemp -d)}
mkdir -p "$work"
work=$(realpath "$work")
corpus=$work/corpus
mkdir -p "$corpus"

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# The inputs: still images of every kind the readers take, a sequence with a gap, videos with
# audio in the usual containers, all made from FFmpeg's test pattern (which has sharp edges), and
# damaged ones: a video with a frame whose checksum fails, a transport stream cut short, a
# sequence with a file cut short.
make_corpus() {
  cd "$corpus"
  local src="testsrc2=size=96x64:rate=24"
  ff -f lavfi -i "$src" -frames:v 1 rgb.png
  ff -f lavfi -i "$src" -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*4'" -frames:v 1 rgba.png
  ff -f lavfi -i "$src" -pix_fmt rgb48be -frames:v 1 deep.png
  ff -f lavfi -i "$src" -pix_fmt gray -frames:v 1 grey.png
  ff -f lavfi -i "$src" -pix_fmt rgb24 -frames:v 1 rgb.tif
  ff -f lavfi -i "$src" -pix_fmt rgba -frames:v 1 rgba.tif
  ff -f lavfi -i "$src" -pix_fmt gray16le -frames:v 1 grey16.tif
  ff -f lavfi -i "$src" -q:v 3 -frames:v 1 photo.jpg
  ff -f lavfi -i "$src" -pix_fmt gbrpf32le -frames:v 1 float.exr
  mkdir -p seq
  ff -f lavfi -i "$src" -frames:v 5 -start_number 1 seq/shot.%04d.png
  rm seq/shot.0003.png
  local audio="sine=frequency=440:sample_rate=48000"
  ff -f lavfi -i "$src" -f lavfi -i "$audio" -t 1 -c:v libx264 -pix_fmt yuv420p -c:a aac h264.mp4
  ff -f lavfi -i "$src" -f lavfi -i "$audio" -t 1 -c:v prores_ks -c:a pcm_s16le prores.mov
  ff -f lavfi -i "$src" -f lavfi -i "$audio" -t 1 -c:v ffv1 -c:a flac ffv1.mkv
  ff -f lavfi -i "$src" -f lavfi -i "$audio" -t 1 -c:v libvpx-vp9 -c:a libopus vp9.webm
  ff -f lavfi -i "$src" -t 1 -c:v qtrle -pix_fmt argb alpha.mov
  ff -f lavfi -i "$src" -t 1 -c:v ffv1 -level 3 -slicecrc 1 -g 1 damaged.mkv
  dd if=/dev/zero of=damaged.mkv bs=1 seek=$(($(stat -c %s damaged.mkv) / 2)) count=64 \
    conv=notrunc status=none
  ff -f lavfi -i "$src" -t 1 -c:v libx264 -pix_fmt yuv420p whole.ts
  head -c $(($(stat -c %s whole.ts) * 6 / 10)) whole.ts >cut.ts
  mkdir -p badseq
  ff -f lavfi -i "$src" -frames:v 4 -start_number 1 badseq/shot.%04d.png
  head -c 40 badseq/shot.0002.png >badseq/cut && mv badseq/cut badseq/shot.0002.png
}

# name|arguments: each run writes under its own folder, named by `name`.
runs=(
  "png-png|rgb.png -o out.png"
  "rgba-png|rgba.png -o out.png"
  "deep-png|deep.png -o out.png"
  "grey-png|grey.png -o out.png"
  "rgb-exr|rgb.png -o out.exr"
  "rgb-tif|rgb.png -o out.tif"
  "rgb-jpg|rgb.png -o out.jpg --quality 80"
  "tif-tif|rgb.tif -o out.tif"
  "rgba-tif|rgba.tif -o out.tif"
  "grey16-tif|grey16.tif -o out.tif"
  "grey16-png8|grey16.tif -o out.png --depth 8"
  "jpg-jpg|photo.jpg -o out.jpg"
  "exr-exr|float.exr -o out.exr"
  "exr-png|float.exr -o out.png"
  "alpha-params|rgba.png -o out.png --source alpha --strength 60 --span 4"
  "premult|rgba.tif -o out.tif --premultiplied"
  "downsample|rgb.png -o out.png --downsample 2"
  "channels-y|rgb.png -o out.png --channels y"
  "files-folder|rgb.png rgba.png grey.png -o outs/"
  "seq-pattern|seq/shot.%04d.png -o aa.%04d.png"
  "seq-frames|seq/shot.####.png --frames 1-2,4 -o aa.####.tif"
  "seq-folder|seq/shot.%04d.png -o outs/"
  "seq-mp4|seq/shot.%04d.png --frames 1-2 -o out.mp4 --fps 24"
  "seq-mov|seq/shot.%04d.png --frames 1-2 -o out.mov"
  "seq-mkv|seq/shot.%04d.png --frames 1-2 -o out.mkv --codec ffv1"
  "mp4-mp4|h264.mp4 -o out.mp4"
  "mp4-mkv|h264.mp4 -o out.mkv"
  "mp4-frames|h264.mp4 -o f.%03d.png"
  "mp4-crf|h264.mp4 -o out.mp4 --crf 30 -j 1"
  "mov-mov|prores.mov -o out.mov"
  "mkv-mkv|ffv1.mkv -o out.mkv"
  "mkv-tif|ffv1.mkv -o f.%02d.tif"
  "webm-webm|vp9.webm -o out.webm"
  "alpha-mov|alpha.mov -o out.mov"
  "alpha-mp4|alpha.mov -o out.mp4"
  "damaged-mkv|damaged.mkv -o out.mkv"
  "damaged-frames|damaged.mkv -o f.%02d.png"
  "cut-ts|cut.ts -o out.ts"
  "cut-ts-frames|cut.ts -o f.%02d.png"
  "badseq-folder|badseq/shot.%04d.png -o outs/"
  "badseq-mkv|badseq/shot.%04d.png -o out.mkv --codec ffv1"
)

# Runs every case with one build into `dest`, recording each run's exit status.
render_all() {
  local tool=$1 dest=$2
  rm -rf "$dest"
  mkdir -p "$dest"
  local run name args
  for run in "${runs[@]}"; do
    name=${run%%|*}
    args=${run#*|}
    mkdir -p "$dest/$name"
    # Inputs are named relative to the corpus, outputs relative to the case's folder.
    (
      cd "$dest/$name"
      read -r -a words <<<"$args"
      local resolved=() expect_output=0 w
      for w in "${words[@]}"; do
        if ((expect_output)); then resolved+=("$w"); expect_output=0; continue; fi
        case "$w" in
          -o) resolved+=("$w"); expect_output=1 ;;
          -*) resolved+=("$w") ;;
          *) if [[ -e "$corpus/$w" || "$w" == *seq/* ]]; then resolved+=("$corpus/$w"); else resolved+=("$w"); fi ;;
        esac
      done
      set +e
      "$tool" -q "${resolved[@]}" >/dev/null 2>stderr.txt
      echo $? >status.txt
    )
  done
}

make_corpus
render_all "$old" "$work/old"
render_all "$new" "$work/new"

# Matroska and WebM files carry a random segment id: those are compared by their streams'
# descriptions and every packet of every stream; all other files byte for byte. A file that
# cannot be read gives no digest, and two missing digests are no match.
same() {
  case "$1" in
    *.mkv | *.webm)
      local a b
      a=$(matroska_digest "$1") && b=$(matroska_digest "$2") && [[ -n "$a" && "$a" == "$b" ]] ;;
    *) cmp -s "$1" "$2" ;;
  esac
}
matroska_digest() {
  ffprobe -v error -show_streams -show_chapters -show_entries format_tags "$1" </dev/null &&
    ffmpeg -nostdin -v error -i "$1" -map 0 -c copy -f framemd5 -
}

compared=0
differ=0
while IFS= read -r -d '' file; do
  rel=${file#"$work/old/"}
  [[ $(basename "$rel") == stderr.txt ]] && continue
  if [[ ! -f "$work/new/$rel" ]]; then
    echo "missing in the new run: $rel"
    differ=$((differ + 1))
  elif ! same "$file" "$work/new/$rel"; then
    echo "differs: $rel"
    differ=$((differ + 1))
  fi
  compared=$((compared + 1))
done < <(find "$work/old" -type f -print0 | sort -z)
while IFS= read -r -d '' file; do
  rel=${file#"$work/new/"}
  [[ -f "$work/old/$rel" ]] || { echo "only in the new run: $rel"; differ=$((differ + 1)); }
done < <(find "$work/new" -type f -print0)

echo "compared $compared files of ${#runs[@]} runs: $differ differ ($work)"
((differ == 0))
