#!/usr/bin/env bash
# Real-window smoke test: the built orvex starts under a virtual X server on a generated stereo
# file, shows a window titled after it and quits cleanly (exit status 0) when asked to.
# Usage: xvfb-smoke.sh ORVEX ORVEX_CLI
set -euo pipefail
orvex="$1"
cli="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/smoke.wav" synth 3 sine 220 sine 330 vol 0.5
# Set the document up once (analysing it records its mode), so the first-opening question
# does not wait for an answer.
"$cli" analyse "$work/smoke.wav" > /dev/null 2>&1
# The desktop's opener is a stand-in that does nothing (the first launch offers a web page).
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
cat > "$work/session.sh" <<SESSION
set -u
export PATH="$work/bin:\$PATH" XDG_CONFIG_HOME="$work/config" HOME="$work" ORVEX_QUIT_AFTER_MS=6000
"$orvex" "$work/smoke.wav" > "$work/orvex.log" 2>&1 &
pid=\$!
seen=0
for _ in \$(seq 1 100); do
  if xwininfo -root -tree | grep -q '"smoke"'; then seen=1; break; fi
  sleep 0.1
done
wait \$pid
status=\$?
[ \$seen = 1 ] || { echo "no window titled smoke" >&2; cat "$work/orvex.log" >&2; exit 1; }
[ \$status = 0 ] || { echo "orvex exited with \$status" >&2; cat "$work/orvex.log" >&2; exit 1; }
SESSION
xvfb-run -a bash "$work/session.sh"
echo "smoke test passed"
