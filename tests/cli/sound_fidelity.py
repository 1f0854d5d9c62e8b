#!/usr/bin/env python3
"""Measures what orvex-cli gives back against the sound it was given, independently of Orvex:
signals are generated (and music rendered with fluidsynth) here, the CLI analyses, edits and
exports them, and numpy compares the exports with the sources.

usage: sound_fidelity.py ORVEX_CLI SOURCE_TREE WORK_FOLDER
Prints one JSON object of figures (dB, samples); the calling test holds the limits.
"""
import json
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.join(sys.argv[2], "scripts", "quality"))
import soundmath as sm  # noqa: E402

CLI, TREE, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
RATE = 44100
figures = {}


def cli(*arguments):
    run = subprocess.run([CLI] + [str(a) for a in arguments], capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit("orvex-cli %s failed: %s" % (" ".join(map(str, arguments)), run.stderr.strip()[-300:]))
    return run


def fade(x, seconds=0.01):
    n = int(seconds * RATE)
    g = 0.5 - 0.5 * np.cos(np.pi * np.arange(n) / n)
    x = x.copy()
    x[:n] *= g
    x[len(x) - n:] *= g[::-1]
    return x


def db(ratio):
    return float(10 * np.log10(max(ratio, 1e-300)))


def sines():
    """A run of faded sines; select all gives each back, keep sustained keeps each at its level."""
    frequencies = [50, 100, 440, 1000, 3000, 8000, 12000, 16000]
    piece, gap = int(0.5 * RATE), int(0.1 * RATE)
    left = []
    for f in frequencies:
        level = -10.5 if f == 8000 else -20.0  # one loud one: nothing may clip
        t = np.arange(piece) / RATE
        left += [fade(10 ** (level / 20) * np.sqrt(2) * np.sin(2 * np.pi * f * t + 0.3)), np.zeros(gap)]
    left = np.concatenate(left)
    source = np.stack([left, 0.5 * left], axis=1)
    path = os.path.join(WORK, "sines.wav")
    sm.write_wav(path, source)
    source, _ = sm.read_wav(path)
    cli("analyse", path, "--start", 0, "--end", len(left) / RATE)
    cli("edit", path, "select-all")
    cli("export", path, os.path.join(WORK, "sines-all.wav"), "--segment")
    every, _ = sm.read_wav(os.path.join(WORK, "sines-all.wav"))
    figures["sines_length_difference"] = len(every) - len(source)
    n = min(len(every), len(source))
    worst_snr, worst_level = 1e9, 0.0
    for i in range(len(frequencies)):
        part = slice(i * (piece + gap), i * (piece + gap) + piece)
        worst_snr = min(worst_snr, sm.snr_db(every[part], source[part]))
        worst_level = max(worst_level, abs(sm.level_db(every[part], source[part])))
    figures["sines_select_all_worst_snr"] = worst_snr
    figures["sines_select_all_worst_level"] = worst_level
    figures["sines_select_all_snr"] = sm.snr_db(every[:n], source[:n])

    cli("edit", path, "sustained")
    cli("export", path, os.path.join(WORK, "sines-sustained.wav"), "--segment")
    kept, _ = sm.read_wav(os.path.join(WORK, "sines-sustained.wav"))
    worst = 0.0
    for i, f in enumerate(frequencies):
        if 100 <= f <= 8000:
            middle = slice(i * (piece + gap) + piece // 2 - 4410, i * (piece + gap) + piece // 2 + 4410)
            worst = max(worst, abs(sm.level_db(kept[middle], source[middle])))
    figures["sines_sustained_worst_level"] = worst
    figures["sines_sustained_clipped"] = int(np.sum(np.abs(kept) >= 1.0 - 2.0 ** -23))


def noise():
    """White noise: the response of select all is flat and without lag."""
    rng = np.random.default_rng(5)
    x = fade(0.1 * rng.standard_normal(2 * RATE))
    path = os.path.join(WORK, "noise.wav")
    sm.write_wav(path, x)
    x = sm.read_wav(path)[0][:, 0]
    cli("analyse", path, "--start", 0, "--end", 2)
    cli("edit", path, "select-all")
    cli("export", path, os.path.join(WORK, "noise-all.wav"), "--segment")
    y = sm.read_wav(os.path.join(WORK, "noise-all.wav"))[0][:, 0]
    centres = [50 * 2 ** (k / 3) for k in range(int(3 * np.log2(16000 / 50)) + 1)]
    response = sm.band_response_db(y[4096:-4096], x[4096:-4096], centres)
    figures["noise_response_worst"] = float(np.max(np.abs(response)))
    figures["noise_lag"] = float(sm.fractional_lag(y, x, 50, 16000))


def music():
    """Rendered music in a longer file, a segment from inside it: select all gives it back,
    with its edges; committed, the master is the source inside and outside the segment."""
    subprocess.run(["/usr/bin/python3", os.path.join(TREE, "scripts", "quality", "make-test-music.py"), WORK,
                    "--seconds", "6", "--songs", "pop"], check=True, capture_output=True)
    path = os.path.join(WORK, "pop-mix.wav")
    source, _ = sm.read_wav(path)
    cli("analyse", path, "--start", 1.0, "--end", 5.0)
    start = (RATE // 128) * 128
    end = (5 * RATE) // 128 * 128
    cli("edit", path, "select-all")
    cli("export", path, os.path.join(WORK, "pop-all.wav"), "--segment")
    every, _ = sm.read_wav(os.path.join(WORK, "pop-all.wav"))
    reference = source[start:end]
    figures["music_length_difference"] = len(every) - len(reference)
    n = min(len(every), len(reference))
    figures["music_select_all_snr"] = sm.snr_db(every[:n], reference[:n])
    figures["music_select_all_snr_below_16k"] = band_snr(every[:n, 0], reference[:n, 0], 16000)
    edge = int(0.1 * RATE)
    figures["music_first_100ms_level"] = sm.level_db(every[:edge], reference[:edge])
    figures["music_last_100ms_level"] = sm.level_db(every[n - edge:n], reference[n - edge:n])
    cli("commit", path)
    cli("export", path, os.path.join(WORK, "pop-master.wav"), "--master")
    master, _ = sm.read_wav(os.path.join(WORK, "pop-master.wav"))
    figures["master_length_difference"] = len(master) - len(source)
    m = min(len(master), len(source))
    figures["master_snr"] = sm.snr_db(master[:m], source[:m])
    outside = np.concatenate([master[:start - 4096] - source[:start - 4096], master[end + 4096:m] - source[end + 4096:m]])
    figures["master_outside_peak_dbfs"] = float(20 * np.log10(max(np.max(np.abs(outside)), 1e-12)))


def band_snr(estimate, reference, below):
    E, S = np.fft.rfft(estimate), np.fft.rfft(reference)
    f = np.fft.rfftfreq(len(reference), 1.0 / RATE)
    band = f < below
    return db(np.sum(np.abs(S[band]) ** 2) / np.sum(np.abs(S[band] - E[band]) ** 2))


def clicks():
    """Keep transients on isolated clicks gives each click back at its peak level."""
    x = np.zeros(2 * RATE)
    positions = [int((i + 1) * 0.25 * RATE) for i in range(7)]
    for c in positions:
        x[c], x[c + 1] = 0.5, -0.3
    path = os.path.join(WORK, "clicks.wav")
    sm.write_wav(path, x)
    x = sm.read_wav(path)[0][:, 0]
    cli("analyse", path, "--start", 0, "--end", 2)
    cli("edit", path, "transients")
    cli("export", path, os.path.join(WORK, "clicks-transients.wav"), "--segment")
    y = sm.read_wav(os.path.join(WORK, "clicks-transients.wav"))[0][:, 0]
    levels = [20 * np.log10(np.max(np.abs(y[c - 2000:c + 2000])) / np.max(np.abs(x[c - 2000:c + 2000])))
              for c in positions]
    figures["clicks_transients_worst_peak_level"] = float(np.max(np.abs(levels)))


for case in (sines, noise, music, clicks):
    case()
print(json.dumps(figures))
