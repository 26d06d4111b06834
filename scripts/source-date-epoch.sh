# Sourced by the packaging scripts: exports SOURCE_DATE_EPOCH, the time stamp written into every
# package, as given, or else the last commit's time, so the same commit gives the same files.
if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
