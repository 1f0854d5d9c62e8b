#!/usr/bin/env python3
"""Regenerates the application's icon (SVG and PNG), the selection marker images and its two short
sounds in resources/.

The icon is described once as a list of shapes; the SVG is written from the list and the PNGs
are drawn from the same list by ImageMagick's own vector primitives, so no SVG renderer is
needed. The sounds are synthesised with sox. Run from anywhere: python3 scripts/make-app-resources.py
"""
import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")
SIZE = 256

# A dark rounded tile with spectral columns; an amber selection box holds three of them.
HEIGHTS = [46, 92, 150, 118, 176, 132, 76, 124, 54]
COLOURS = ["#2bb3c0", "#34bdbf", "#45c6b4", "#5ccda4", "#7ad28f", "#9bd47a", "#bdd266", "#dccb55", "#f2bd4a"]


def shapes():
    items = [("rect", 8, 8, 240, 240, 52, "#1c2140", None, 0)]
    for row in range(4):
        y = 72 + row * 40
        items.append(("rect", 30, y, 196, 2, 1, "#2c3360", None, 0))
    for i, h in enumerate(HEIGHTS):
        x = 36 + i * 21
        items.append(("rect", x, 208 - h, 14, h, 5, COLOURS[i], None, 0))
    items.append(("rect", 95, 52, 70, 166, 12, "#ffd24a40", "#ffd24a", 6))
    return items


def svg_text():
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" viewBox="0 0 {SIZE} {SIZE}">']
    for _, x, y, w, h, r, fill, stroke, width in shapes():
        colour, opacity = (fill[:7], int(fill[7:], 16) / 255) if len(fill) == 9 else (fill, 1)
        attrs = f'x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{colour}"'
        if opacity != 1:
            attrs += f' fill-opacity="{opacity:.3f}"'
        if stroke:
            attrs += f' stroke="{stroke}" stroke-width="{width}"'
        out.append(f"  <rect {attrs}/>")
    out.append("</svg>")
    return "\n".join(out) + "\n"


def draw_commands(scale):
    cmds = []
    for _, x, y, w, h, r, fill, stroke, width in shapes():
        s = scale
        cmds += ["-fill", fill, "-stroke", stroke or "none", "-strokewidth", str(width * s),
                 "-draw", f"roundrectangle {x*s},{y*s} {(x+w)*s},{(y+h)*s} {r*s},{r*s}"]
    return cmds


def make_icons():
    with open(os.path.join(RES, "icons", "orvex.svg"), "w") as f:
        f.write(svg_text())
    big = 4
    for size in (48, 128, 256):
        target = os.path.join(RES, "icons", f"orvex-{size}.png")
        subprocess.run(["convert", "-size", f"{SIZE*big}x{SIZE*big}", "xc:none", *draw_commands(big),
                        "-resize", f"{size}x{size}", "-strip", f"PNG32:{target}"], check=True)


# The selection markers: an amber tab on the edge of the overview narrowing to a point that leads
# into the view along the selection line. The start marker hangs from the top edge, the end
# marker is the same tab standing on the bottom edge.
MARKER_W, MARKER_H = 15, 12
MARKER_TAB = [(0.5, 0.5), (14.5, 0.5), (14.5, 4.5), (7.5, 11.5), (0.5, 4.5)]


def make_markers():
    big = 8
    points = " ".join(f"{x*big},{y*big}" for x, y in MARKER_TAB)
    for name, flip in (("selectionStart", []), ("selectionEnd", ["-flip"])):
        target = os.path.join(RES, f"{name}.png")
        subprocess.run(["convert", "-size", f"{MARKER_W*big}x{MARKER_H*big}", "xc:none",
                        "-fill", "#ffd21f", "-stroke", "#7a5200", "-strokewidth", str(big),
                        "-draw", f"polygon {points}",
                        "-stroke", "none", "-fill", "#fff3b0",
                        "-draw", f"rectangle {2*big},{2*big} {13*big},{3*big}",
                        *flip, "-resize", f"{MARKER_W}x{MARKER_H}", "-strip", f"PNG32:{target}"], check=True)


def make_sounds():
    with tempfile.TemporaryDirectory() as tmp:
        def tone(name, seconds, freq):
            path = os.path.join(tmp, name)
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", path, "synth", str(seconds),
                            "sine", str(freq), "sine", str(freq * 2), "remix", "1v0.7,2v0.3",
                            "fade", "q", "0.01", str(seconds), str(seconds * 0.8), "vol", "0.4"], check=True)
            return path
        # Start-up: three rising notes; finished: two falling ones.
        rising = [tone(f"r{i}.wav", 0.22, f) for i, f in enumerate((523.25, 659.25, 783.99))]
        subprocess.run(["sox", *rising, os.path.join(RES, "orvn.aif")], check=True)
        falling = [tone(f"f{i}.wav", 0.25, f) for i, f in enumerate((880.0, 659.25))]
        subprocess.run(["sox", *falling, os.path.join(RES, "finished-new.aiff")], check=True)


if __name__ == "__main__":
    make_icons()
    make_markers()
    make_sounds()
