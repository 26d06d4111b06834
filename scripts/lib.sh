# shellcheck shell=bash
# Sourced by the scripts: what several of them need, said once. Sourcing it changes nothing but
# the variables and functions below, and the ccache settings it exports.

# The repository, wherever the sourcing script was called from.
fxaa_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Compile jobs: one per core, or FXAA_BUILD_JOBS.
jobs=${FXAA_BUILD_JOBS:-$(nproc 2>/dev/null || echo 2)}

# Root's commands go through sudo, unless root runs the script.
if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi

# The compiler cache, where ccache is installed: paths below the repository are hashed relative to
# it, so a fresh clone in another folder finds what an earlier clone compiled.
ccache_args=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$fxaa_repo} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  ccache_args=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Whether this machine runs Debian 13 itself (then no userland of it is needed).
on_debian13() { grep -q '^VERSION_ID="13"' /etc/os-release 2>/dev/null; }

# configure_once BUILD [CMAKE ARGUMENTS...]: configures BUILD from the repository unless it was
# configured before, in which case its own settings stand.
configure_once() {
  local build=$1
  shift
  [[ -f "$build/CMakeCache.txt" ]] || cmake -S "$fxaa_repo" -B "$build" "$@" >/dev/null
}

# linux_build_dir: the ordinary Linux build other builds are checked against (FXAA_LINUX_BUILD_DIR,
# build/ by default), configured when it is not.
linux_build_dir() {
  local build=${FXAA_LINUX_BUILD_DIR:-build}
  configure_once "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${ccache_args[@]}"
  echo "$build"
}

# release_version_is BUILD VERSION: fails, saying so, unless BUILD was configured as VERSION (its
# release README is written at configure time, so an archive names the version of its binaries).
release_version_is() {
  local built
  built=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
  [[ "$built" == "$2" ]] || { echo "$1 holds version ${built:-(none)}, not $2" >&2; return 1; }
}

# bench_build TARGET...: sets up, configures and builds TARGETs in the benchmarks' folder,
# BENCH_BUILD_DIR (build-bench/ by default; any folder configured without sanitizers: one
# configured already keeps its settings, so BENCH_BUILD_DIR=build keeps its tests); prints it.
bench_build() {
  local build=${BENCH_BUILD_DIR:-build-bench}
  "$fxaa_repo/scripts/setup.sh" >&2
  configure_once "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXAA_BUILD_TESTS=OFF
  cmake --build "$build" -j"$jobs" --target "$@" >&2
  echo "$build"
}

# debian_mirror: the first Debian archive of the machine's apt sources (deb822 or one-line), not
# its security one, or FXAA_DEBIAN_MIRROR when set; fails, saying so, when there is none.
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

# userland NAME RELEASE ROOT WANTED FILL: makes, once per machine, a Debian userland of RELEASE
# (a codename) in ROOT, by debootstrap from debian_mirror, then runs the function FILL (which
# installs into it through userland_run) and writes WANTED as its stamp. A ROOT whose stamp is
# WANTED is left as it is; another stamp has FILL run again on the base already there. Two callers wait
# for each other (a lock beside ROOT), and one interrupted half way is taken up by the next.
# Prints ROOT; the rest of its output goes to standard error. Call it as a statement of its own:
# under `if`, `||` or `&&` bash would run the making on past a failure and stamp it made.
userland() {
  local name=$1 release=$2 root=$3 wanted=$4 fill=$5
  local stamp="$root/.fxaa-stamp"
  if [[ -f "$stamp" && "$(cat "$stamp")" == "$wanted" ]]; then echo "$root"; return 0; fi
  mkdir -p "$(dirname "$root")"
  (
    flock 9
    cd "$fxaa_repo"
    [[ -f "$stamp" && "$(cat "$stamp")" == "$wanted" ]] && exit 0
    if [[ ! -f "$root/.fxaa-base" ]]; then
      "$fxaa_repo/scripts/setup.sh" --portable >&2
      local mirror
      mirror=$(debian_mirror)
      echo "$name: making a Debian $release userland in $root from $mirror (minutes, once)" >&2
      $SUDO rm -rf "$root.partial"
      $SUDO debootstrap --variant=minbase "$release" "$root.partial" "$mirror" >&2
      $SUDO rm -rf "$root"
      $SUDO mv "$root.partial" "$root"
      $SUDO touch "$root/.fxaa-base"
    fi
    # A throwaway root: dpkg need not sync every file, and documentation nobody reads there is
    # neither unpacked nor indexed (the copyright files stay).
    $SUDO tee "$root/etc/dpkg/dpkg.cfg.d/fxaa" >/dev/null <<'EOF'
force-unsafe-io
path-exclude=/usr/share/doc/*
path-include=/usr/share/doc/*/copyright
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
EOF
    echo "$name: installing into $root" >&2
    userland_root=$root
    userland_run dpkg --configure -a
    userland_run apt-get update -qq
    "$fill"
    userland_run apt-get clean
    echo "$wanted" | $SUDO tee "$stamp" >/dev/null
  ) 9>"$root.lock"
  echo "$root"
}

# userland_run COMMAND...: runs COMMAND as root in the userland being made, output to standard
# error.
userland_run() {
  "$fxaa_repo/scripts/portable-run.sh" --root "$userland_root" --as-root -- "$@" >&2
}
