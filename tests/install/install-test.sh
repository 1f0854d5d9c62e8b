#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs from it: both
# programs, a valid desktop entry, PNG and SVG icons, the resources; then runs the installed
# programs from the prefix. Usage: install-test.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/orvex-cli share/applications/orvex.desktop share/orvex/quickstart.html \
         share/orvex/orvn.aif share/orvex/finished-new.aiff share/orvex/icons/orvex.svg \
         share/orvex/selectionStart.png share/orvex/selectionEnd.png \
         share/icons/hicolor/scalable/apps/orvex.svg; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done
[ -x "$prefix/bin/orvex-cli" ] || fail "bin/orvex-cli not executable"

entry="$prefix/share/applications/orvex.desktop"
desktop-file-validate "$entry" || fail "desktop entry does not validate"
grep -qx 'Exec=orvex %F' "$entry" || fail "Exec line"
grep -q '^MimeType=.*audio/x-wav;' "$entry" || fail "MimeType lacks audio/x-wav"

# Each PNG is a real PNG of its folder's size; the SVG is well-formed XML with an svg root.
python3 - "$prefix" <<'PY'
import struct, sys, xml.etree.ElementTree as ET
prefix = sys.argv[1]
for size in (48, 128, 256):
    with open(f"{prefix}/share/icons/hicolor/{size}x{size}/apps/orvex.png", "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", size
    assert struct.unpack(">II", head[16:24]) == (size, size), (size, head[16:24])
root = ET.parse(f"{prefix}/share/icons/hicolor/scalable/apps/orvex.svg").getroot()
assert root.tag.endswith("svg"), root.tag
PY

# The installed command-line program runs from the prefix.
cp "$prefix/share/orvex/demo.wav" "$prefix/in.wav"
"$prefix/bin/orvex-cli" info "$prefix/in.wav" | grep -q . || fail "orvex-cli info printed nothing"
# Analysing a short segment sets the file up (its mode), so the desktop program does not ask.
"$prefix/bin/orvex-cli" analyse --start 0 --end 2 "$prefix/in.wav" > /dev/null 2>&1 || fail "orvex-cli analyse"

# The installed desktop program opens a file under a virtual X server.
if [ -x "$prefix/bin/orvex" ]; then
  bash "$(dirname "$0")/run-installed-app.sh" "$prefix" "$prefix/in.wav" || fail "bin/orvex FILE under Xvfb"
fi
echo "install test passed"
