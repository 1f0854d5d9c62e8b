#!/usr/bin/env bash
# Installs the dependencies, builds orvex-cli and runs the main job on the bundled demo sound.
# Outputs go to build/demo/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$build"
out="$build/demo"
mkdir -p "$out"
cp "$root/resources/demo.wav" "$out/demo.wav"
cli="$build/src/cli/orvex-cli"
echo "== orvex-cli info --working $out/demo.wav"
"$cli" info --working "$out/demo.wav"
echo "== outputs are in $out"
