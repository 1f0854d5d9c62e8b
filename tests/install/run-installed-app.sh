#!/usr/bin/env bash
# Runs PREFIX/bin/orvex FILE under a virtual X server with a fresh configuration folder and
# waits until a window named after FILE shows; a stand-in xdg-open records what the program asks
# the desktop to open (the quick-start page on this first launch). Usage: run-installed-app.sh PREFIX FILE
set -euo pipefail
prefix="$1"
file="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/config"
cat > "$work/bin/xdg-open" <<OPEN
#!/bin/sh
echo "\$1" >> "$work/opened"
OPEN
chmod +x "$work/bin/xdg-open"
title="$(basename "${file%.*}")"

cat > "$work/session.sh" <<SESSION
set -u
export PATH="$work/bin:\$PATH" XDG_CONFIG_HOME="$work/config" HOME="$work"
"$prefix/bin/orvex" "$file" > "$work/orvex.log" 2>&1 &
pid=\$!
for _ in \$(seq 1 150); do
  if ! kill -0 \$pid 2>/dev/null; then echo "orvex exited early" >&2; cat "$work/orvex.log" >&2; exit 1; fi
  # A file at another rate is shown by its converted working copy's name.
  if xwininfo -root -tree | grep -qE "\"$title(\\[orvx\\])?\""; then
    # The quick start opens after the start-up pause.
    for _ in \$(seq 1 100); do [ -s "$work/opened" ] && break; sleep 0.1; done
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
bash "$(dirname "$0")/../support/xvfb-session.sh" "$work/session.sh"
grep -q "$prefix/share/orvex/quickstart.html" "$work/opened" || { echo "quick start not opened from the prefix" >&2; exit 1; }
