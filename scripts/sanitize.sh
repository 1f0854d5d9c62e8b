#!/usr/bin/env bash
# Builds everything (core, orvex-cli, the desktop app and every test) under a sanitizer in
# build-<kind>/ and runs the whole test suite there:
#   address  AddressSanitizer + UBSan + leak checks, Debug build.
#   thread   ThreadSanitizer, optimised build (-O2 -g, frame pointers, asserts kept): unoptimised
#            code under ThreadSanitizer is too slow for the command-line suites to finish.
#            Every report goes to a file, tsan.<program>.<pid>, in build-thread/tsan-reports/<UTC
#            time of the run>/ (halt_on_error=0, so a program reports every race it meets and
#            exits 66 at the end), and the run ends with the number of reports per program so
#            each can be judged afterwards.
# scripts/sanitize/<tool>.supp hold what lies wholly inside uninstrumented system libraries
# (for thread: the memory operations Qt and GLib make themselves, see the file); a report with
# an Orvex access is a bug to fix, never to suppress.
# Usage: scripts/sanitize.sh [address|thread ...] [-- ctest arguments, e.g. -R engine]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
supp="$root/scripts/sanitize"
kinds=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do kinds+=("$1"); shift; done
[ "$#" -gt 0 ] && shift
[ "${#kinds[@]}" -gt 0 ] || kinds=(address thread)

for kind in "${kinds[@]}"; do
  case "$kind" in
    address) config=(-DCMAKE_BUILD_TYPE=Debug) ;;
    thread) config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
                    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g") ;;
    *) echo "unknown sanitizer: $kind" >&2; exit 2 ;;
  esac
  build="$root/build-$kind"
  bash "$root/scripts/build.sh" "$build" -DORVEX_SANITIZE="$kind" "${config[@]}"
  reports="$build/tsan-reports/$(date -u +%Y%m%d-%H%M%S)"
  [ "$kind" = thread ] && mkdir -p "$reports"
  status=0
  (
    cd "$build"
    # The Qt tests set the offscreen platform themselves; the real-window tests need X.
    unset QT_QPA_PLATFORM
    # die_after_fork=0: the tests start python through QProcess, whose child the tool would
    # otherwise stop before it reaches exec.
    export TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$supp/tsan.supp log_path=$reports/tsan log_exe_name=1 die_after_fork=0"
    export ASAN_OPTIONS="detect_leaks=1"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Qt Test stops a test function after 5 minutes; instrumented ones may take longer.
    export QTEST_FUNCTION_TIMEOUT=1500000
    # Instrumented programs run several times slower than plain ones.
    ctest --output-on-failure --parallel "$(nproc)" --timeout 1500 "$@"
  ) || status=$?
  if [ "$kind" = thread ]; then
    echo "ThreadSanitizer reports in $reports (reports per program):"
    grep -cH '^WARNING: ThreadSanitizer' "$reports"/tsan.* 2>/dev/null \
      | sed -E 's|.*/tsan\.([^:]*)\.[0-9]+:|\1 |' \
      | awk '$2 > 0 { n[$1] += $2 } END { for (p in n) print "  " p, n[p] }' | sort || true
  fi
  [ "$status" -eq 0 ] || exit "$status"
done
