# shellcheck shell=bash
# Sourced by the scripts that make Debian userlands: prints the first Debian archive of the
# machine's apt sources (deb822 or one-line), not its security one, or FXAA_DEBIAN_MIRROR when
# set; fails, saying so, when there is none.
debian_mirror() {
  local f mirror=${FXAA_DEBIAN_MIRROR:-}
  if [[ -z "$mirror" ]]; then
    mirror=$(for f in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list \
                      /etc/apt/sources.list.d/*.list; do
      [[ -f "$f" ]] || continue
      sed -n -E \
        -e 's/^URIs:[[:space:]]*([^[:space:]]*debian)\/?([[:space:]].*)?$/\1/p' \
        -e 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]*debian)\/?[[:space:]].*/\2/p' "$f"
    done | head -n 1 || true)
  fi
  [[ -n "$mirror" ]] || { echo "no Debian mirror in /etc/apt; set FXAA_DEBIAN_MIRROR" >&2; return 1; }
  echo "$mirror"
}
