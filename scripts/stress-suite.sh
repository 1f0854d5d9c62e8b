#!/usr/bin/env bash
# Runs the whole test suite ROUNDS times in a row while a second copy of it runs beside it in the
# same build, as on a loaded machine; stops at the first red round.
# Usage: scripts/stress-suite.sh [BUILD_DIR] [ROUNDS]
set -uo pipefail
build="$(cd "${1:-build}" && pwd)"
rounds="${2:-10}"
run_suite() { ctest --test-dir "$build" --parallel 2 --timeout 900 "$@"; }
( while :; do run_suite > /dev/null 2>&1; done ) &
beside=$!
stop_beside() {
  kill "$beside" 2> /dev/null
  pkill -f "ctest --test-dir $build" 2> /dev/null
  wait 2> /dev/null
}
trap stop_beside EXIT
for round in $(seq 1 "$rounds"); do
  start=$(date +%s)
  log="$build/stress-round-$round.log"
  if run_suite --output-on-failure > "$log" 2>&1; then
    echo "round $round: passed in $(($(date +%s) - start)) s ($(grep -o '[0-9]*% tests passed.*' "$log" | head -1 || true))"
  else
    echo "round $round: FAILED after $(($(date +%s) - start)) s:"
    grep -E '^\s+[0-9]+ - |Failed|\*\*\*' "$log" | tail -20
    exit 1
  fi
done
echo "all $rounds rounds passed beside a second suite"
