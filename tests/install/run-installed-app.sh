#!/usr/bin/env bash
# Runs PREFIX/bin/orvex FILE under a virtual X server with a fresh configuration folder, waits
# until a window named after FILE shows, then ends the program. Usage: run-installed-app.sh PREFIX FILE
set -euo pipefail
prefix="$1"
file="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config"
title="$(basename "${file%.*}")"

cat > "$work/session.sh" <<SESSION
set -u
export XDG_CONFIG_HOME="$work/config" HOME="$work"
"$prefix/bin/orvex" "$file" > "$work/orvex.log" 2>&1 &
pid=\$!
for _ in \$(seq 1 150); do
  if ! kill -0 \$pid 2>/dev/null; then echo "orvex exited early" >&2; cat "$work/orvex.log" >&2; exit 1; fi
  if xwininfo -root -tree | grep -q "\"$title\""; then
    kill \$pid
    wait \$pid 2>/dev/null || true
    exit 0
  fi
  sleep 0.1
done
echo "no window titled $title" >&2
kill \$pid
exit 1
SESSION
xvfb-run -a bash "$work/session.sh"
