#!/usr/bin/env bash
# The Wine runner passes a program's exit code through, stops a program that runs too long, and
# fails a crashing program instead of hanging in Wine's debugger.
# Usage: wine_runner_test.sh RUNNER EXIT_WITH_EXE CASE
set -u
runner=$1 program=$2
case $3 in
  exit-code)
    out=$("$runner" "$program" 7); rc=$?
    [[ $rc -eq 7 ]] || { echo "exit code $rc, expected 7"; exit 1; }
    [[ "$out" == *"exit_with 7"* ]] || { echo "output '$out' lacks the program's line"; exit 1; }
    ;;
  time-limit)
    FXAA_WINE_TIMEOUT=3 "$runner" "$program" sleep 60; rc=$?
    [[ $rc -eq 124 ]] || { echo "exit code $rc, expected 124 (timed out)"; exit 1; }
    ;;
  crash)
    FXAA_WINE_TIMEOUT=60 "$runner" "$program" crash; rc=$?
    [[ $rc -ne 0 && $rc -ne 124 ]] || { echo "exit code $rc, expected a crash's failure"; exit 1; }
    ;;
  *) echo "unknown case $3"; exit 2 ;;
esac
