#!/usr/bin/env bash
# Makes, once per machine, the Debian 13 (trixie) userland the build is also made and tested in
# (gcc 14, FFmpeg 7.1, Mesa 25), and prints its folder. It holds what scripts/setup.sh --package
# installs there, and ccache, and nothing else. The root lives outside the repository, in
# FXAA_DEBIAN13_ROOT (by default ~/.cache/fxaa/trixie-root), and is made by debootstrap from the
# Debian mirror the machine's apt already uses (FXAA_DEBIAN_MIRROR overrides it). A later run only
# adds what a changed scripts/setup.sh asks for. Run it with scripts/portable-run.sh --root.
# Needs root (sudo is used otherwise).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

root=${FXAA_DEBIAN13_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/trixie-root}
fill() {
  userland_run "$fxaa_repo/scripts/setup.sh" --package
  userland_run apt-get install -y -qq --no-install-recommends ccache
  # The compiler cache of the builds in it, whoever runs them.
  $SUDO install -d -m 1777 "$root/var/cache/ccache"
}
# The set-up inside is redone when the set-up script changes.
userland debian13-root trixie "$root" "$(sha256sum "$fxaa_repo/scripts/setup.sh" | cut -d' ' -f1)" fill
