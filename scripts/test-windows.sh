#!/usr/bin/env bash
# Builds the Windows product (scripts/build-windows.sh) and tests it: the exports and imports of
# FXAA.aex, fxaa.exe and fxaa.dll and the plug-in's resource bytes read back on Linux, then every
# Windows test program and the Wine runner's own tests under Wine, all in one virtual X server so
# Wine starts once.
# Usage: scripts/test-windows.sh [ctest arguments, e.g. -R PluginLoad]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$(pwd)
# The Wine suite: two test programs at a time, whatever the cores (FXAA_BUILD_JOBS sets it).
wine_jobs=${FXAA_BUILD_JOBS:-2}

scripts/build-windows.sh

# The file as the host sees it, checked by the Linux build's reader (configured when missing;
# FXAA_LINUX_BUILD_DIR picks the Linux build folder, build/ by default).
linux=$(linux_build_dir)
cmake --build "$linux" --target windows_resource_tests windows_match_tests fxaa -j"$jobs" >/dev/null
FXAA_AEX="$root/build-windows/FXAA.aex" "$linux/tests/windows/windows_resource_tests" --gtest_brief=1
# Each binary's version resource against the version header (pefile: Debian's python3-pefile,
# for the system's interpreter).
/usr/bin/python3 tests/windows/version_resource_check.py host/effect_version.h build-windows/FXAA.aex \
  build-windows/cli/fxaa.exe build-windows/frei0r/fxaa.dll \
  build-windows/openfx/FXAA.ofx.bundle/Contents/Win64/FXAA.ofx build-windows/installer/fxaa-path.exe

# Wine: the prefix is created once (a fresh one takes several seconds); inside the X server a
# persistent wineserver and one idle Windows program keep Wine's services and desktop running, so
# each test program starts in a fraction of a second.
# FXAA_WINE_EXCLUDE: a ctest -E pattern of Windows tests to leave out (none by default).
exclude=${FXAA_WINE_EXCLUDE-}

export WINEPREFIX="$root/build-windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
idle="$root/build-windows/tests/windows/exit_with.exe"
# A Wine server left from an earlier run may still serve a desktop on an X server that is gone,
# and programs then hang as they end: start from none.
wineserver -k 2>/dev/null || true
scripts/wine-run.sh "$idle" 0 >/dev/null

# The frame dumps and tool outputs the Wine run writes; removed first so a failed run leaves
# none to compare.
rm -rf build-windows/render-dump.bin build-windows/render-dump-threads.bin build-windows/tool-run \
  build-windows/frei0r-dump.bin build-windows/ofx-dump.bin

wine_rc=0
timeout --kill-after=20 "${FXAA_WINE_SUITE_TIMEOUT:-900}" \
  xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    idle=$1; jobs=$2; exclude=$3; shift 3
    wineserver -p 60
    # The idle program starts the Wine desktop before any test can: the desktop keeps the output
    # of the program that started it open, and a test would seem to run for minutes.
    ready=build-windows/idle-ready
    rm -f "$ready"
    wine "$idle" hold 3600 >"$ready" 2>/dev/null &
    for _ in $(seq 300); do grep -q ready "$ready" 2>/dev/null && break; sleep 0.1; done
    grep -q ready "$ready" 2>/dev/null || echo "test-windows: the idle program made no window" >&2
    ctest --test-dir build-windows --output-on-failure -j"$jobs" --timeout 300 ${exclude:+-E "$exclude"} "$@"
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' test-windows "$idle" "$wine_jobs" "$exclude" "$@" || wine_rc=$?

# The Windows build's frames and tool outputs against the Linux build's, for each the Wine run
# wrote.
match=()
[[ -f build-windows/render-dump.bin ]] &&
  match+=(FXAA_WINDOWS_RENDER_DUMP="$root/build-windows/render-dump.bin")
[[ -f build-windows/render-dump-threads.bin ]] &&
  match+=(FXAA_WINDOWS_THREADED_RENDER_DUMP="$root/build-windows/render-dump-threads.bin")
[[ -f build-windows/frei0r-dump.bin ]] &&
  match+=(FXAA_WINDOWS_FREI0R_DUMP="$root/build-windows/frei0r-dump.bin")
[[ -f build-windows/ofx-dump.bin ]] &&
  match+=(FXAA_WINDOWS_OFX_DUMP="$root/build-windows/ofx-dump.bin")
if [[ -d build-windows/tool-run ]]; then
  tests/windows/tool_runs.sh "$root/build-windows/tool-run-linux" "$linux/cli/fxaa" >/dev/null
  match+=(FXAA_WINDOWS_TOOL_RUN="$root/build-windows/tool-run"
          FXAA_LINUX_TOOL_RUN="$root/build-windows/tool-run-linux")
fi
match_rc=0
if ((${#match[@]})); then
  env "${match[@]}" "$linux/tests/windows/windows_match_tests" --gtest_brief=1 || match_rc=$?
else
  echo "test-windows: the Wine run wrote no frames to compare with the Linux build" >&2
  match_rc=1
fi
exit $((wine_rc ? wine_rc : match_rc))
