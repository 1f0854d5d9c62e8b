#!/usr/bin/env bash
# Runs a script under a virtual X server of its own. The server picks a free display itself and
# reports it (-displayfd), so that any number of these, from any number of test runs at once,
# never share or fight over a display (picking a free number first and starting the server on it
# afterwards races with every other run doing the same).
# Usage: xvfb-session.sh SCRIPT [ARGS...]
set -euo pipefail
fifo="$(mktemp -u)"
mkfifo "$fifo"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1600x1200x24 3> "$fifo" 2> /dev/null &
server=$!
trap 'kill "$server" 2> /dev/null; wait "$server" 2> /dev/null; rm -f "$fifo"' EXIT
read -r -t 30 display < "$fifo" || { echo "the virtual X server did not start" >&2; exit 1; }
DISPLAY=":$display" bash "$@"
