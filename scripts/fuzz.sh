#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan), writes their starting inputs and runs
# each harness for SECONDS (default 30). Fails when any harness finds a crash, a leak, a
# sanitizer report or a time-out; the input that caused it is kept under BUILD_DIR/findings.
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build="${2:-$root/build-fuzz}"
harnesses=(audiofile chunkfile paramdict grain)
# Longest input per harness: a few sound blocks, two records plus an undo copy, a dictionary,
# a few grains.
declare -A max_len=([audiofile]=20000 [chunkfile]=160000 [paramdict]=4096 [grain]=30000)

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" "${generator[@]}" "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_BUILD_FUZZ=ON \
    -DORVEX_BUILD_TESTS=OFF -DORVEX_BUILD_CLI=OFF -DORVEX_BUILD_GUI=OFF
fi
targets=(orvex_fuzz_corpus)
for h in "${harnesses[@]}"; do targets+=("orvex_fuzz_$h"); done
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

starting="$build/starting-inputs"
rm -rf "$starting"
"$build/fuzz/orvex_fuzz_corpus" "$starting"
mkdir -p "$build/findings"

export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
failed=()
summary=()
for h in "${harnesses[@]}"; do
  corpus="$build/corpus/$h"
  log="$build/findings/$h.log"
  mkdir -p "$corpus"
  echo "== fuzzing $h for ${seconds}s"
  status=0
  "$build/fuzz/orvex_fuzz_$h" -max_total_time="$seconds" -max_len="${max_len[$h]}" -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$h-" \
    "$corpus" "$starting/$h" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=("$h: ${runs:-?} executions, exit $status")
  if [ "$status" -ne 0 ]; then
    failed+=("$h")
    tail -n 60 "$log"
  fi
done
printf '%s\n' "${summary[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/findings)" >&2
  exit 1
fi
