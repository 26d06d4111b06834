#!/usr/bin/env bash
# Makes, once per machine, a Debian 11 (bullseye) userland holding what a user's desktop holds
# and nothing of the build: ffmpeg, melt, frei0r-plugins and Mesa's EGL and drivers, no -dev
# package and no libopengl0. The portable modules are tested in it (scripts/test-portable.sh),
# never in the root they were built in. It lives outside the repository, in
# FXAA_PORTABLE_RUNTIME_ROOT (by default ~/.cache/fxaa/bullseye-runtime-root), made by
# debootstrap from the machine's Debian mirror (scripts/debian-mirror.sh); prints its folder.
# Needs root (sudo is used otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

root=${FXAA_PORTABLE_RUNTIME_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/bullseye-runtime-root}
# The trailing '-' keeps libopengl0 out: apt fails rather than bring it in.
packages=(ffmpeg melt frei0r-plugins libegl1 libegl-mesa0 libgl1-mesa-dri libopengl0-)
stamp="$root/.fxaa-packages"
made() { [[ -f "$stamp" && "$(cat "$stamp")" == "${packages[*]}" ]]; }
if made; then echo "$root"; exit 0; fi

if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
if made; then echo "$root"; exit 0; fi
. scripts/debian-mirror.sh
mirror=$(debian_mirror)

if [[ ! -f "$root/.fxaa-base" ]]; then
  scripts/setup.sh --portable >&2
  echo "portable-runtime-root: making a Debian 11 userland in $root from $mirror (minutes, once)" >&2
  $SUDO rm -rf "$root.partial"
  $SUDO debootstrap --variant=minbase bullseye "$root.partial" "$mirror" >&2
  $SUDO rm -rf "$root"
  $SUDO mv "$root.partial" "$root"
  $SUDO touch "$root/.fxaa-base"
fi

echo "portable-runtime-root: installing ${packages[*]} into $root" >&2
export DEBIAN_FRONTEND=noninteractive
run() { scripts/portable-run.sh --root "$root" --as-root -- "$@" >&2; }
run apt-get update -qq
run apt-get install -y -qq --no-install-recommends "${packages[@]}"
run apt-get clean
echo "${packages[*]}" | $SUDO tee "$stamp" >/dev/null
echo "$root"
