#!/usr/bin/env bash
# Makes, once per machine, the Debian 11 (bullseye) userland the portable Linux modules are built
# and tested in, and prints its folder. Built there, against glibc 2.31 with gcc 10's C++ runtime
# linked in, they load on systems as old as that (Rocky Linux 8, the Flatpak runtimes, the
# AppImages' Ubuntus); its own ffmpeg 4.3, melt and Mesa 20.3 are the older hosts the tests run.
# The root lives outside the repository, in FXAA_PORTABLE_ROOT (by default
# ~/.cache/fxaa/bullseye-root), made by debootstrap from the Debian mirror the machine's apt
# already uses (FXAA_DEBIAN_MIRROR overrides it). A later run only adds missing packages.
# Needs root (sudo is used otherwise).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

root=${FXAA_PORTABLE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/bullseye-root}
packages=(g++ cmake make pkg-config ccache binutils libegl-dev libopengl-dev libegl-mesa0
          libgl1-mesa-dri frei0r-plugins-dev ffmpeg melt)
fill() {
  userland_run apt-get install -y -qq --no-install-recommends "${packages[@]}"
  # The compiler cache of the builds in it, whoever runs them.
  $SUDO install -d -m 1777 "$root/var/cache/ccache"
}
userland portable-root bullseye "$root" "${packages[*]}" fill
