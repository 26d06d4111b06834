#!/usr/bin/env bash
# Replaces what lies between the lines "<!-- NAME:begin -->" and "<!-- NAME:end -->" of DOC with
# the contents of BLOCK: how the benchmark scripts write their results into the documentation.
# Fails, leaving DOC as it was, when either marker is missing.
# Usage: scripts/splice-results.sh DOC NAME BLOCK
set -euo pipefail
doc=${1:?usage: splice-results.sh DOC NAME BLOCK}
name=${2:?no marker name}
block=${3:?no block file}
grep -q "^<!-- $name:begin -->" "$doc" && grep -q "^<!-- $name:end -->" "$doc" ||
  { echo "splice-results.sh: $doc has no $name markers" >&2; exit 1; }
awk -v block="$block" -v begin="<!-- $name:begin -->" -v end="<!-- $name:end -->" '
  $0 == begin { print; while ((getline line < block) > 0) print line; skip = 1; next }
  $0 == end { skip = 0 }
  !skip { print }
' "$doc" >"$doc.new"
mv "$doc.new" "$doc"
