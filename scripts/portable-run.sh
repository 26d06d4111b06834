#!/usr/bin/env bash
# Runs COMMAND inside the Debian 11 userland of scripts/portable-root.sh, in a mount namespace of
# its own, so every mount ends with it on every path: /proc, /dev and /sys are the machine's, and
# the repository and each --bind folder appear at their own paths, so a path means the same file
# inside and out. The environment is a clean one (PATH, HOME=/tmp, LANG); the command runs in the
# current folder, as the calling user unless --as-root. Needs root (sudo is used otherwise).
# Usage: scripts/portable-run.sh [--root DIR] [--as-root] [--bind DIR]... -- COMMAND [ARG...]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${FXAA_PORTABLE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/fxaa/bullseye-root}
user="$(id -u):$(id -g)"
binds=("$repo")
while (($#)); do
  case "$1" in
    --root) root=$2; shift 2 ;;
    --as-root) user=; shift ;;
    --bind) binds+=("$(cd "$2" && pwd)"); shift 2 ;;
    --) shift; break ;;
    *) echo "portable-run: unknown option $1" >&2; exit 2 ;;
  esac
done
(($#)) || { echo "usage: portable-run.sh [--root DIR] [--as-root] [--bind DIR]... -- COMMAND" >&2; exit 2; }
[[ -f "$root/.fxaa-base" ]] || { echo "portable-run: $root is not made (scripts/portable-root.sh)" >&2; exit 1; }
source "$repo/scripts/lib.sh"

# shellcheck disable=SC2016  # expanded by the inner shell
inner='
set -euo pipefail
root=$1 user=$2 cwd=$3 nbinds=$4
shift 4
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
# apt inside needs the name servers of today, not those of the day the root was made.
[[ -z "$user" ]] && mount --bind /etc/resolv.conf "$root/etc/resolv.conf"
for ((i = 0; i < nbinds; i++)); do
  mkdir -p "$root$1"
  mount --bind "$1" "$root$1"
  shift
done
exec chroot ${user:+--userspec="$user"} "$root" /usr/bin/env -i \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$cwd" "$@"
'
exec $SUDO unshare --mount --propagation private bash -c "$inner" portable-run \
  "$root" "$user" "$(pwd)" "${#binds[@]}" "${binds[@]}" "$@"
