#!/usr/bin/env bash
# Runs a Windows program under Wine, as the Windows build's test runner (CMake's cross-compiling
# emulator) and by hand: wine-run.sh PROGRAM.exe [ARGS...]. Returns the program's exit code, or
# 124 when it ran past the time limit.
#
# - The Wine prefix lives in the program's build folder (the nearest folder above it that holds
#   CMakeCache.txt), or in $WINEPREFIX when that is set.
# - Without $DISPLAY a virtual X server is started for this one run (windows and WGL need one);
#   a caller that runs many programs starts one X server around all of them instead.
# - Wine's crash debugger is switched off, so a crash fails the run instead of hanging it.
# - FXAA_WINE_TIMEOUT (seconds, default 120) bounds the run.
# - FXAA_WINE_NO_DISPLAY=1 runs the program with no X display at all (window creation fails).
set -uo pipefail

if (($# < 1)); then
  echo "usage: wine-run.sh PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
program=$1
shift
if [[ ! -f "$program" ]]; then
  echo "wine-run: no such program: $program" >&2
  exit 2
fi

build_dir() {
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [[ "$dir" != "/" ]]; do
    [[ -f "$dir/CMakeCache.txt" ]] && { echo "$dir"; return; }
    dir=$(dirname "$dir")
  done
  cd "$(dirname "$1")" && pwd
}

export WINEPREFIX=${WINEPREFIX:-$(build_dir "$program")/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
limit=${FXAA_WINE_TIMEOUT:-120}

for tool in wine wineserver wineboot; do
  command -v "$tool" >/dev/null || { echo "wine-run: $tool is missing (scripts/setup.sh --windows)" >&2; exit 2; }
done

# A fresh prefix takes several seconds to create; runs that start together create it once.
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      timeout 120 wineboot --init >/dev/null 2>&1
      timeout 60 wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# Only the program is stopped at the limit: the Wine server may be serving other runs.
if [[ "${FXAA_WINE_NO_DISPLAY:-}" == 1 ]]; then
  unset DISPLAY
  exec timeout --kill-after=10 "$limit" wine "$program" "$@"
fi
if [[ -n "${DISPLAY:-}" ]]; then
  exec timeout --kill-after=10 "$limit" wine "$program" "$@"
fi

command -v xvfb-run >/dev/null || { echo "wine-run: xvfb-run is missing (scripts/setup.sh --windows)" >&2; exit 2; }
# The X server lives as long as this run; wineserver -w lets Wine finish before it goes.
timeout --kill-after=10 $((limit + 30)) xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  limit=$1; shift
  timeout --kill-after=10 "$limit" wine "$@"
  rc=$?
  timeout 30 wineserver -w
  exit $rc' wine-run "$limit" "$program" "$@"
