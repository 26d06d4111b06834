#!/usr/bin/env bash
# Makes, once per machine, the Debian 13 (trixie) userland the build is also made and tested in
# (gcc 14, FFmpeg 7.1, Mesa 25), and prints its folder. It holds what scripts/setup.sh --package
# installs there, and ccache, and nothing else. The root lives outside the repository, in
# FXAA_DEBIAN13_ROOT (by default ~/.cache/fxaa/trixie-root), and is made by debootstrap from the
# Debian mirror the machine's apt already uses (FXAA_DEBIAN_MIRROR overrides it). A later run only
# adds what a changed scripts/setup.sh asks for. Run it with scripts/portable-run.sh --root.
# Needs root (sudo is used otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."

root=${FXAA_DEBIAN13_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/trixie-root}
# The set-up inside is redone when the set-up script changes.
wanted=$(sha256sum scripts/setup.sh | cut -d' ' -f1)
stamp="$root/.fxaa-setup"
if [[ -f "$stamp" && "$(cat "$stamp")" == "$wanted" ]]; then
  echo "$root"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
mkdir -p "$(dirname "$root")"
# Two builds on one machine wait for each other instead of both bootstrapping.
exec 9>"$root.lock"
flock 9
if [[ -f "$stamp" && "$(cat "$stamp")" == "$wanted" ]]; then
  echo "$root"
  exit 0
fi

if [[ ! -f "$root/.fxaa-base" ]]; then
  scripts/setup.sh --portable >&2
  mirror=${FXAA_DEBIAN_MIRROR:-$(sed -n -E 's/^URIs:[[:space:]]*([^[:space:]]*debian)\/?$/\1/p;
    s/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]*debian)\/?[[:space:]].*/\2/p' \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -n 1 || true)}
  [[ -n "$mirror" ]] || { echo "debian13-root: no Debian mirror in /etc/apt; set FXAA_DEBIAN_MIRROR" >&2; exit 1; }
  echo "debian13-root: making a Debian 13 userland in $root from $mirror (a few minutes, once)" >&2
  $SUDO rm -rf "$root.partial"
  $SUDO debootstrap --variant=minbase trixie "$root.partial" "$mirror" >&2
  $SUDO rm -rf "$root"
  $SUDO mv "$root.partial" "$root"
  $SUDO touch "$root/.fxaa-base"
fi

echo "debian13-root: installing the build's packages into $root" >&2
scripts/portable-run.sh --root "$root" --as-root -- scripts/setup.sh --package >&2
scripts/portable-run.sh --root "$root" --as-root -- \
  apt-get install -y -qq --no-install-recommends ccache >&2
scripts/portable-run.sh --root "$root" --as-root -- apt-get clean >&2
# The compiler cache of the builds in it, whoever runs them.
$SUDO install -d -m 1777 "$root/var/cache/ccache"
echo "$wanted" | $SUDO tee "$stamp" >/dev/null
echo "$root"
