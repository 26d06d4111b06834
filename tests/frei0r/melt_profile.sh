# Sourced by the frei0r host tests. melt_profile WIDTH HEIGHT FILE: a melt profile of square
# pixels at 25 frames a second (melt needs its description line).
melt_profile() {
  cat >"$3" <<PROFILE
description=frames of the test
width=$1
height=$2
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$1
display_aspect_den=$2
frame_rate_num=25
frame_rate_den=1
colorspace=709
PROFILE
}
