#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the whole test suite.
# Usage: scripts/test.sh [BUILD_DIR] [extra CMake arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$build" "$@"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
