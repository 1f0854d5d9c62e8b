#!/usr/bin/env bash
# Installs the dependencies, builds, and opens Orvex on the bundled demo sound when a display is
# available; without one (or with ORVEX_DEMO_HEADLESS=1) it runs the main job headless with
# orvex-cli instead. Outputs go to build/demo/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$build"
out="$build/demo"
mkdir -p "$out"
cp "$root/resources/demo.wav" "$out/demo.wav"
app="$build/src/app/orvex"
if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$app" ] && [ "${ORVEX_DEMO_HEADLESS:-0}" != 1 ]; then
  echo "== opening Orvex on $out/demo.wav (ORVEX_DEMO_HEADLESS=1 runs the headless job instead)"
  exec "$app" "$out/demo.wav"
fi
echo "== no display (DISPLAY and WAYLAND_DISPLAY unset): running the headless job with orvex-cli"
cli="$build/src/cli/orvex-cli"
echo "== orvex-cli info --working $out/demo.wav"
"$cli" info --working "$out/demo.wav"
echo "== orvex-cli process: keep the sustained part of the whole demo"
"$cli" process "$out/demo.wav" --start 0 --end 8 --keep sustained -o "$out/demo-sustained.wav"
echo "== orvex-cli snapshot: the analysis picture with the selection in red"
"$cli" snapshot "$out/demo.wav" "$out/demo-analysis.png" --selection
"$cli" info "$out/demo.wav"
echo "== outputs are in $out: demo-sustained.wav (the sustained part, 24-bit 44.1 kHz),"
echo "   demo-analysis.png (the analysis picture), demo[orvx].wav with demo[orvx].analysis/ (the working copy and its analysis)"
