#!/usr/bin/env bash
# scripts/slurm-array.sh up to its submission, sbatch stood in by a script that records its
# arguments: fxaa's options before INPUT keep their values, and the results of exactly the tasks
# about to run again (N, N-M, N-M:STEP, with a %LIMIT) are removed. Usage: FXAA SLURM_ARRAY_SCRIPT
set -uo pipefail
fxaa=$(readlink -f "$1") script=$(readlink -f "$2")
fail() { echo "FAIL $*" >&2; exit 1; }

tmp=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || fail "no temporary folder"
mkdir bin work
printf '#!/bin/sh\necho "$*" >>%q/sbatch.args\necho 7\n' "$tmp" >bin/sbatch && chmod +x bin/sbatch
ffmpeg -v error -f lavfi -i testsrc2=size=32x24 -frames:v 40 -start_number 1 f.%03d.png || fail ffmpeg
for t in 0 1 2 3 4 5 6 7; do echo "stale 0" >"work/task-$t.result"; done

PATH=$tmp/bin:$PATH "$script" --fxaa "$fxaa" --chunk 5 --threads 2 --work work f.%03d.png \
  -o out.%03d.png --tasks '0,2-6:2%2' >job.out 2>&1 || { cat job.out; fail "the submission failed"; }
source work/job.env || fail "no job.env"
[[ $input == "$tmp/f.%03d.png" ]] || fail "the input is $input"
[[ ${options[*]} == "--threads 2" ]] || fail "fxaa's options are: ${options[*]}"
grep -q -- "--array=0,2-6:2%2 " sbatch.args || { cat sbatch.args; fail "not the tasks asked for"; }
left=$(cd work && echo task-*.result)
[[ $left == "task-1.result task-3.result task-5.result task-7.result" ]] || fail "left: $left"
echo "ok   options before INPUT keep their values; the tasks rerun lose their stale results alone"
