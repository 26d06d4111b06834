#!/usr/bin/env bash
# Makes, once per machine, the Debian 11 (bullseye) userland the portable Linux modules are built
# and tested in, and prints its folder. Built there, against glibc 2.31 with gcc 10's C++ runtime
# linked in, they load on systems as old as that (Rocky Linux 8, the Flatpak runtimes, the
# AppImages' Ubuntus); its own ffmpeg 4.3, melt and Mesa 20.3 are the older hosts the tests run.
# The root lives outside the repository, in FXAA_PORTABLE_ROOT (by default
# ~/.cache/fxaa/bullseye-root), and is made by debootstrap from the Debian mirror the machine's
# apt already uses (FXAA_DEBIAN_MIRROR overrides it). A later run only adds missing packages.
# Needs root (sudo is used otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

root=${FXAA_PORTABLE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/bullseye-root}
packages=(g++ cmake make pkg-config ccache binutils libegl-dev libopengl-dev libegl-mesa0
          libgl1-mesa-dri frei0r-plugins-dev ffmpeg melt)
stamp="$root/.fxaa-packages"
if [[ -f "$stamp" && "$(cat "$stamp")" == "${packages[*]}" ]]; then
  echo "$root"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
mkdir -p "$(dirname "$root")"
# Two builds on one machine wait for each other instead of both bootstrapping.
exec 9>"$root.lock"
flock 9
if [[ -f "$stamp" && "$(cat "$stamp")" == "${packages[*]}" ]]; then
  echo "$root"
  exit 0
fi

. scripts/debian-mirror.sh
mirror=$(debian_mirror)

if [[ ! -f "$root/.fxaa-base" ]]; then
  scripts/setup.sh --portable >&2
  echo "portable-root: making a Debian 11 userland in $root from $mirror (a few minutes, once)" >&2
  $SUDO rm -rf "$root.partial"
  $SUDO debootstrap --variant=minbase bullseye "$root.partial" "$mirror" >&2
  $SUDO rm -rf "$root"
  $SUDO mv "$root.partial" "$root"
  $SUDO touch "$root/.fxaa-base"
fi

echo "portable-root: installing ${packages[*]} into $root" >&2
export DEBIAN_FRONTEND=noninteractive
scripts/portable-run.sh --root "$root" --as-root -- apt-get update -qq >&2
scripts/portable-run.sh --root "$root" --as-root -- \
  apt-get install -y -qq --no-install-recommends "${packages[@]}" >&2
scripts/portable-run.sh --root "$root" --as-root -- apt-get clean >&2
# The compiler cache of the builds in it, whoever runs them.
$SUDO install -d -m 1777 "$root/var/cache/ccache"
echo "${packages[*]}" | $SUDO tee "$stamp" >/dev/null
echo "$root"
