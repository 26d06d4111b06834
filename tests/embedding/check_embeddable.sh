#!/usr/bin/env bash
# What goes into other programs' processes, read with nm. For the code of ours inside them (static
# libraries or object files; a ';'-separated list counts as several): fails on anything that
# registers work to run at exit (a static object with a destructor, a thread_local one), changes
# a process-wide setting (environment, signals, locale, stdio buffering), or defines a symbol
# outside OURS. For a shipped module (--module MODULE EXPORT...): fails on any export but the
# interface's, and on any reference, from any code in it, that changes a process-wide setting.
# Usage: tests/embedding/check_embeddable.sh NM OURS LIBRARY...
#        tests/embedding/check_embeddable.sh NM --module MODULE EXPORT...
set -euo pipefail
nm=${1:?usage: check_embeddable.sh NM OURS LIBRARY... | NM --module MODULE EXPORT...}
shift
status=0

exit_work='__cxa_atexit|atexit|at_quick_exit|on_exit|__cxa_thread_atexit|__cxa_thread_atexit_impl'
exit_work+='|std::ios_base::Init::Init\(\)'
process_wide='setenv|putenv|unsetenv|clearenv|signal|sigaction|sigprocmask|setlocale|uselocale'
process_wide+='|setvbuf|setbuf|setlinebuf|std::locale::global\(.*\)|std::ios_base::sync_with_stdio\(.*\)'

fail() { echo "FAIL $1:"; echo "$2"; status=1; }
# nm's listing; an object nm cannot read ends the check as failed, or it would find nothing in
# it and pass.
listing() {
  "$nm" "$@" || { echo "FAIL cannot read with nm: ${*: -1}" >&2; exit 1; }
}

if [[ $1 == --module ]]; then
  module=${2:?no module}
  shift 2
  exported=$(listing -D --defined-only "$module" | awk '{ print $NF }' | sort)
  wanted=$(printf '%s\n' "$@" | sort)
  [[ "$exported" == "$wanted" ]] || fail "$(basename "$module") exports more or less than its interface" "$exported"
  undefined=$(listing -D -C -u "$module")
  found=$(grep -E " U (${process_wide})(@.*)?$" <<<"$undefined" || true)
  [[ -z $found ]] || fail "$(basename "$module") references process-wide settings" "$found"
  [[ $status == 0 ]] && echo "PASS $(basename "$module"): only its interface's exports, no process-wide settings"
  exit $status
fi

ours=${1:?no OURS}
shift
libraries=()
for argument in "$@"; do IFS=';' read -ra parts <<<"$argument"; libraries+=("${parts[@]}"); done
undefined=$(listing -A -C -u "${libraries[@]}")
found=$(grep -E " U (${exit_work}|${process_wide})$" <<<"$undefined" || true)
[[ -z $found ]] || fail "references to exit handlers or process-wide settings" "$found"
# Strong definitions (T, D, B, R) outside OURS; the compiler's own for our classes count as ours.
# Weak ones are template and inline copies any user of a header makes too.
defined=$(listing -A -C --defined-only "${libraries[@]}")
found=$(grep -E '^[^ ]+:[0-9a-f]+ [TDBR] ' <<<"$defined" |
        grep -vE " [TDBR] ((typeinfo|typeinfo name|vtable|VTT|guard variable) for )?(${ours})" || true)
[[ -z $found ]] || fail "symbols defined outside ${ours}" "$found"
[[ $status == 0 ]] && echo "PASS ${#libraries[@]} files: no exit handlers, no process-wide settings, only ${ours}"
exit $status
