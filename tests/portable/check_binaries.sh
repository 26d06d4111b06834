#!/usr/bin/env bash
# What the portable frei0r module and OpenFX binary ask of the system they land on, read from the
# files themselves:
#   - the libraries they need: the C library's own, nothing else (libEGL is opened at the first
#     instance), and no name left to find elsewhere: every symbol they take carries a version;
#   - no symbol version newer than GLIBC_2.28 (Rocky Linux 8), none of the C++ runtime's or
#     libgcc's (GLIBCXX_, CXXABI_, GCC_: those are linked in);
#   - the names they export: the frei0r functions (f0r_*, every one the interface requires), and
#     OfxGetPlugin and OfxGetNumberOfPlugins; nothing else.
# Prints the newest GLIBC version each needs.
# Usage: check_binaries.sh FREI0R_MODULE OFX_BINARY
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: check_binaries.sh FREI0R_MODULE OFX_BINARY" >&2; exit 2; }
allowed_libraries="libc.so.6 libm.so.6 libdl.so.2 libpthread.so.0 librt.so.1 ld-linux-x86-64.so.2"
newest_allowed=2.28
failures=0
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }

# FILE REQUIRED_NAMES PATTERN: every exported name matches PATTERN; every required one is there.
check() {
  local file=$1 required=$2 pattern=$3 name library versions newest exported
  for library in $(readelf -d -W "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    grep -qxF "$library" <<<"${allowed_libraries// /$'\n'}" ||
      fail "$(basename "$file") needs $library"
  done
  # An unversioned name it does not define would come from whatever library the host loaded.
  name=$(readelf --dyn-syms -W "$file" |
    awk '$1 ~ /^[0-9]+:$/ && $7 == "UND" && $5 == "GLOBAL" && $8 != "" && $8 !~ /@/ { print $8 }' |
    tr '\n' ' ')
  [[ -z "$name" ]] || fail "$(basename "$file") takes unversioned $name"
  # The versions of the symbols it takes from other libraries (.gnu.version_r).
  versions=$(readelf -V -W "$file" | sed -n 's/.*Name: \([A-Z]*_[0-9.]*\) .*/\1/p' | sort -u)
  name=$(grep -E '^(GLIBCXX|CXXABI|GCC)_' <<<"$versions" | tr '\n' ' ' || true)
  [[ -z "$name" ]] || fail "$(basename "$file") needs the C++ runtime's or libgcc's $name"
  newest=$(sed -n 's/^GLIBC_//p' <<<"$versions" | sort -V | tail -n 1)
  [[ -n "$newest" ]] || fail "$(basename "$file") needs no GLIBC version at all: not read"
  if [[ $(printf '%s\n' "$newest" "$newest_allowed" | sort -V | tail -n 1) != "$newest_allowed" ]]; then
    fail "$(basename "$file") needs GLIBC_$newest, newer than GLIBC_$newest_allowed"
  fi
  echo "$(basename "$file"): newest GLIBC version needed $newest"
  # Defined, global or weak, default visibility: what a host can reach.
  exported=$(readelf --dyn-syms -W "$file" |
    awk '$1 ~ /^[0-9]+:$/ && $7 != "UND" && ($5 == "GLOBAL" || $5 == "WEAK") && $6 == "DEFAULT" &&
         $8 != "" { sub(/@.*/, "", $8); print $8 }' |
    sort -u)
  for name in $exported; do
    [[ "$name" =~ $pattern ]] || fail "$(basename "$file") exports $name"
  done
  for name in $required; do
    grep -qxF "$name" <<<"$exported" || fail "$(basename "$file") does not export $name"
  done
}

check "$1" "f0r_init f0r_deinit f0r_get_plugin_info f0r_get_param_info f0r_construct
  f0r_destruct f0r_set_param_value f0r_get_param_value f0r_update" '^f0r_[a-z0-9_]+$'
check "$2" "OfxGetPlugin OfxGetNumberOfPlugins" '^(OfxGetPlugin|OfxGetNumberOfPlugins)$'
((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
