# Sourced by the tests that run the effect inside other programs and hold their frames against
# the fxaa tool's: how they compare frames, and the frames they compare.
source "$(dirname "${BASH_SOURCE[0]}")/melt_profile.sh"
ff() { ffmpeg -nostdin -v error -y "$@"; }
# The RGBA bytes of an image, a numbered sequence or a video, frame after frame (a .rgba file
# holds them already).
rgba() {
  if [[ "$1" == *.rgba ]]; then md5sum <"$1"
  else ffmpeg -nostdin -v error -i "$1" -f rawvideo -pix_fmt rgba - | md5sum; fi | cut -d' ' -f1
}
failures=0
same() {  # what, expected file or sequence, actual
  local want got
  want=$(rgba "$2") got=$(rgba "$3")
  if [[ "$want" == "$got" ]]; then echo "ok: $1"; else echo "FAIL: $1 differs from the tool's"; failures=$((failures + 1)); fi
}

# The two settings, as the frei0r hosts write them.
declare -A what=([tool]="defaults" [tool2]="Strength 50 %, FXAA Span 4")
declare -A ffparams=([tool]="" [tool2]=":0|0.5|0.04|0.01|0.01")
declare -A mltparams=([tool]="" [tool2]="1=0.5 2=0.04")
declare -A gstparams=([tool]="" [tool2]="strength=0.5 fxaa-span=0.04")

# host_frames TOOL: into the current folder, three aliased RGBA frames in1.png to in3.png (the
# tool's test scene, mirrored two ways), the same as an FFV1 video in.mkv with a melt profile
# `profile`, and the tool's frames at the defaults (tool/) and at Strength 50 %, FXAA Span 4
# (tool2/, frei0r 0.5 and 0.04). Sets width and height.
host_frames() {
  "$1" demo scene >/dev/null
  cp scene/before.png in1.png
  ff -i in1.png -vf hflip -pix_fmt rgba in2.png
  ff -i in1.png -vf vflip -pix_fmt rgba in3.png
  IFS=x read -r width height < <(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x in1.png)
  ff -i in%d.png -c:v ffv1 -pix_fmt bgra in.mkv
  melt_profile "$width" "$height" profile

  mkdir tool tool2
  "$1" -q in1.png in2.png in3.png -o tool/
  "$1" -q in1.png in2.png in3.png -o tool2/ --strength 50 --span 4
  [[ $(rgba "tool/in%d.png") != $(rgba "tool2/in%d.png") ]] || { echo "FAIL: the setting changes nothing"; exit 1; }
}
