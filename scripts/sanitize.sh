#!/usr/bin/env bash
# Runs the test suite under AddressSanitizer+UBSan and under ThreadSanitizer, each in its own
# build folder. Usage: scripts/sanitize.sh [address|thread ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kinds=("$@")
[ "${#kinds[@]}" -gt 0 ] || kinds=(address thread)
for kind in "${kinds[@]}"; do
  ASAN_OPTIONS=detect_leaks=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    bash "$root/scripts/test.sh" "$root/build-$kind" -DORVEX_SANITIZE="$kind" -DCMAKE_BUILD_TYPE=Debug
done
