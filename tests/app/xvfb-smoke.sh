#!/usr/bin/env bash
# Real-window smoke test: the built orvex starts under a virtual X server on a generated stereo
# file and shows a window titled after it; a second orvex started on another file hands it to
# the first and ends, and the first shows that file's window too; then it quits cleanly (exit
# status 0) when asked to, having printed none of the audio engine's diagnostics. Then Ctrl+Q,
# typed as a user would, ends orvex with status 0 within 10 s twice: once the first-opening
# question of a new file is answered, and once an analysis started from the keyboard has ended.
# Usage: xvfb-smoke.sh ORVEX ORVEX_CLI
set -euo pipefail
orvex="$1"
cli="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/smoke.wav" synth 3 sine 220 sine 330 vol 0.5
sox -n -r 44100 -c 1 -b 16 "$work/second.wav" synth 3 sine 440 vol 0.5
sox -n -r 44100 -c 2 -b 16 "$work/setup.wav" synth 3 sine 262 vol 0.5
sox -n -r 44100 -c 2 -b 16 "$work/analyse.wav" synth 3 sine 392 vol 0.5
# Set the documents up once (analysing records their mode), so the first-opening question
# does not wait for an answer.
"$cli" analyse "$work/smoke.wav" > /dev/null 2>&1
"$cli" analyse "$work/second.wav" > /dev/null 2>&1
# The desktop's opener is a stand-in that does nothing (the first launch offers a web page).
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
cat > "$work/session.sh" <<SESSION
set -u
export PATH="$work/bin:\$PATH" XDG_CONFIG_HOME="$work/config" HOME="$work"
fail() { echo "\$1" >&2; cat "$work/orvex.log" >&2; exit 1; }
window() {
  for _ in \$(seq 1 150); do
    if xwininfo -root -tree | grep -q "\"\$1\""; then return 0; fi
    sleep 0.1
  done
  return 1
}
# Only this first orvex quits by itself; the later ones are asked to with Ctrl+Q (a timer there
# ended a slow analysis under load before it could complete).
ORVEX_QUIT_AFTER_MS=20000 "$orvex" "$work/smoke.wav" > "$work/orvex.log" 2>&1 &
pid=\$!
window smoke || fail "no window titled smoke"
timeout 10 "$orvex" "$work/second.wav" > "$work/second.log" 2>&1 || fail "the second orvex did not hand its file over and end"
window second || fail "the running orvex shows no window for the file handed to it"
kill -0 \$pid 2> /dev/null || fail "the first orvex ended early"
wait \$pid
status=\$?
[ \$status = 0 ] || fail "orvex exited with \$status"
! grep -q "AudioEngine" "$work/orvex.log" || fail "the audio engine printed its diagnostics without --verbose"

# The window that has the keyboard is the one named \$1 (polled for up to a minute: a loaded
# machine is slow).
focused() {
  for _ in \$(seq 1 600); do
    [ "\$(xdotool getwindowfocus getwindowname 2> /dev/null)" = "\$1" ] && return 0
    sleep 0.1
  done
  return 1
}
# Ctrl+Q ends orvex (pid \$1) with status 0 within 10 s.
quits() {
  xdotool key ctrl+q
  for _ in \$(seq 1 100); do
    kill -0 "\$1" 2> /dev/null || break
    sleep 0.1
  done
  kill -0 "\$1" 2> /dev/null && { kill -9 "\$1"; fail "orvex still runs 10 s after Ctrl+Q (\$2)"; }
  wait "\$1"
  status=\$?
  [ \$status = 0 ] || fail "orvex exited with \$status after Ctrl+Q (\$2)"
}
"$orvex" "$work/setup.wav" > "$work/orvex.log" 2>&1 &
pid=\$!
focused "Auto setup document?" || fail "a new file does not ask how to set it up"
xdotool key Return
focused setup || fail "the window of setup.wav does not get the keyboard back after the question"
quits \$pid "after the first-opening question"

"$orvex" "$work/analyse.wav" > "$work/orvex.log" 2>&1 &
pid=\$!
focused "Auto setup document?" || fail "a new file does not ask how to set it up"
xdotool key Return
focused analyse || fail "the window of analyse.wav does not get the keyboard back after the question"
xdotool key ctrl+2
focused "Perform extraction/suppression on currently selected segment?" || fail "the analysis tab does not offer to analyse"
xdotool key Return
plist="$work/analyse.analysis/analyse.plist"
for _ in \$(seq 1 3000); do  # up to five minutes on a loaded machine; a second or two when idle
  grep -A1 -q "AnalysisCompleteForSelection" "\$plist" 2> /dev/null && grep -A1 "AnalysisCompleteForSelection" "\$plist" | grep -q true && break
  sleep 0.1
done
grep -A1 "AnalysisCompleteForSelection" "\$plist" 2> /dev/null | grep -q true || fail "the analysis did not complete"
focused analyse || fail "the window does not get the keyboard back after the analysis"
quits \$pid "after an analysis"
SESSION
bash "$(dirname "$0")/../support/xvfb-session.sh" "$work/session.sh"
echo "smoke test passed"
