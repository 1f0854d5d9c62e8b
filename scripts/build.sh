#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [BUILD_DIR] [extra CMake arguments...]
# Example sanitizer build: scripts/build.sh build-tsan -DORVEX_SANITIZE=thread
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" "$@"
elif [ "$#" -gt 0 ]; then
  cmake -S "$root" -B "$build" "$@"
fi
cmake --build "$build" --parallel "$(nproc)"
