#!/usr/bin/env bash
# Makes, once per machine, a Debian 11 (bullseye) userland holding what a user's desktop holds
# and nothing of the build: ffmpeg, melt, frei0r-plugins and Mesa's EGL and drivers, no -dev
# package and no libopengl0. The portable modules are tested in it (scripts/test-portable.sh),
# never in the root they were built in. It lives outside the repository, in
# FXAA_PORTABLE_RUNTIME_ROOT (by default ~/.cache/fxaa/bullseye-runtime-root), made by
# debootstrap from the machine's Debian mirror; prints its folder.
# Needs root (sudo is used otherwise).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

root=${FXAA_PORTABLE_RUNTIME_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/bullseye-runtime-root}
# The trailing '-' keeps libopengl0 out: apt fails rather than bring it in.
packages=(ffmpeg melt frei0r-plugins libegl1 libegl-mesa0 libgl1-mesa-dri libopengl0-)
fill() { userland_run apt-get install -y -qq --no-install-recommends "${packages[@]}"; }
userland portable-runtime-root bullseye "$root" "${packages[*]}" fill
