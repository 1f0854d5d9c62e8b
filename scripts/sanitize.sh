#!/usr/bin/env bash
# Builds everything (core, orvex-cli, the desktop app and every test) under a sanitizer in
# build-<kind>/ and runs the whole test suite there: address (AddressSanitizer + UBSan + leak
# checks) and thread (ThreadSanitizer). Reports that lie wholly inside uninstrumented system
# libraries are suppressed by scripts/sanitize/<tool>.supp; a report with an Orvex frame is a
# bug to fix, never to suppress.
# Usage: scripts/sanitize.sh [address|thread ...] [-- ctest arguments, e.g. -R engine]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
supp="$root/scripts/sanitize"
kinds=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do kinds+=("$1"); shift; done
[ "$#" -gt 0 ] && shift
[ "${#kinds[@]}" -gt 0 ] || kinds=(address thread)

for kind in "${kinds[@]}"; do
  case "$kind" in address|thread) ;; *) echo "unknown sanitizer: $kind" >&2; exit 2 ;; esac
  build="$root/build-$kind"
  bash "$root/scripts/build.sh" "$build" -DORVEX_SANITIZE="$kind" -DCMAKE_BUILD_TYPE=Debug
  (
    cd "$build"
    export QT_QPA_PLATFORM=offscreen
    export TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$supp/tsan.supp"
    export ASAN_OPTIONS="detect_leaks=1"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Instrumented programs run several times slower than plain ones.
    ctest --output-on-failure --parallel "$(nproc)" --timeout 1200 "$@"
  )
done
