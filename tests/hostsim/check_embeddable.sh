#!/usr/bin/env bash
# The host side goes into other programs' processes. Reads the objects of its library with nm
# and fails on any that registers something to run at exit (a static object with a destructor,
# a thread_local one), changes a process-wide setting (environment, signals, locale, stdio
# buffering), or defines a symbol outside namespace hostsim.
# Usage: tests/hostsim/check_embeddable.sh NM LIBRARY
set -euo pipefail
nm=${1:?usage: check_embeddable.sh NM LIBRARY}
library=${2:?usage: check_embeddable.sh NM LIBRARY}
status=0

# Undefined references to what registers exit work or changes process-wide state.
forbidden='__cxa_atexit|atexit|at_quick_exit|on_exit|__cxa_thread_atexit|__cxa_thread_atexit_impl'
forbidden+='|setenv|putenv|unsetenv|clearenv|signal|sigaction|sigprocmask|setlocale|uselocale'
forbidden+='|setvbuf|setbuf|setlinebuf|std::locale::global\(.*\)|std::ios_base::sync_with_stdio\(.*\)'
forbidden+='|std::ios_base::Init::Init\(\)'
found=$("$nm" -A -C -u "$library" | grep -E " U (${forbidden})$" || true)
if [[ -n $found ]]; then
  echo "FAIL references to exit handlers or process-wide settings:"
  echo "$found"
  status=1
fi

# Strong definitions (T, D, B, R) outside the namespace; the compiler's own for our classes count
# as ours. Weak ones are template and inline copies any user of the header makes too.
ours='((typeinfo|typeinfo name|vtable|VTT|guard variable) for )?hostsim::'
found=$("$nm" -A -C --defined-only "$library" | grep -E '^[^ ]+:[0-9a-f]+ [TDBR] ' |
        grep -vE " [TDBR] ${ours}" || true)
if [[ -n $found ]]; then
  echo "FAIL symbols defined outside namespace hostsim:"
  echo "$found"
  status=1
fi

[[ $status == 0 ]] && echo "PASS $(basename "$library"): no exit handlers, no process-wide settings, only hostsim symbols"
exit $status
