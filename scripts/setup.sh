#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing, on Debian 12 or
# Debian 13: each release's own compiler and tools.
# Usage: scripts/setup.sh [--windows] [--fuzz] [--package] [--portable]
#   --windows adds the cross compiler, Wine and NSIS (the installer); --fuzz adds the release's
#   clang and its libFuzzer runtime; --package adds what makes and checks the release packages
#   (scripts/package.sh); --portable adds debootstrap, which makes the Debian 11 userland the
#   portable Linux modules are built in (scripts/portable-root.sh), and dpkg-source, which
#   fetches the GLEW they carry.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
export DEBIAN_FRONTEND=noninteractive

# The version of the release's clang (14 on Debian 12, 19 on Debian 13), whose runtime package
# carries the version in its name.
clang_version() {
  local pick='s/.*Depends: clang-\([0-9][0-9]*\)$/\1/p' v
  v=$(apt-cache depends clang 2>/dev/null | sed -n "$pick" | head -n 1)
  if [[ -z $v ]]; then
    $SUDO apt-get update -qq >&2
    v=$(apt-cache depends clang | sed -n "$pick" | head -n 1)
  fi
  [[ -n $v ]] || { echo "setup.sh: no clang in this release's archive" >&2; exit 1; }
  echo "$v"
}

packages=(
  cmake g++ make pkg-config git
  libegl-dev libopengl-dev libglew-dev libegl1 libegl-mesa0 libgl1-mesa-dri
  libgtest-dev libgmock-dev glslang-tools
  libpng-dev libopenexr-dev libcli11-dev libjemalloc-dev libtiff-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  binutils file python3 ccache
  slurm-wlm munge   # the farm test's one-node Slurm cluster
  # the frei0r filter: its header, and the hosts its tests render through
  frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-bad gstreamer1.0-plugins-good
)
for option in "$@"; do
  case "$option" in
    --windows)
      packages+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth
                 python3-pefile dpkg-dev libz-mingw-w64-dev nsis) ;;
    --fuzz) packages+=(clang "libclang-rt-$(clang_version)-dev") ;;
    --package) packages+=(dpkg-dev file lintian man-db bash-completion zip) ;;
    --portable) packages+=(debootstrap dpkg-dev) ;;
    *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
