#!/usr/bin/env python3
"""Renders test music from General-MIDI stems with fluidsynth and mixes it in numpy.

For each song: a pitched group (the sustained stem) and a drum kit (the transient stem) are
written as Standard MIDI files, rendered separately with fluidsynth at 44 100 Hz, brought to
the given balance and summed. Writes SONG-mix.wav, SONG-sustained.wav and SONG-drums.wav
(24-bit stereo) into the output folder; sustained + drums == mix to within one 24-bit step.

usage: make-test-music.py OUTDIR [--seconds S] [--songs a,b,c]
Needs: fluidsynth, fluid-soundfont-gm (Debian), python3-numpy.
"""
import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soundmath as sm  # noqa: E402

SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
TICKS = 480  # per quarter note


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def midi_file(events, tempo_bpm):
    """events: (tick, bytes) pairs; returns a type-0 Standard MIDI file."""
    track = bytearray()
    track += vlq(0) + b"\xff\x51\x03" + struct.pack(">I", int(60_000_000 / tempo_bpm))[1:]
    last = 0
    for tick, data in sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 != 0x80)):
        track += vlq(tick - last) + data
        last = tick
    track += vlq(TICKS) + b"\xff\x2f\x00"
    return b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS) + b"MTrk" + struct.pack(">I", len(track)) + track


class Part:
    def __init__(self, channel, program=None):
        self.channel, self.events = channel, []
        if program is not None:
            self.events.append((0, bytes([0xC0 | channel, program])))

    def note(self, start_beats, length_beats, pitch, velocity):
        on = int(start_beats * TICKS)
        off = on + max(1, int(length_beats * TICKS))
        self.events.append((on, bytes([0x90 | self.channel, pitch, velocity])))
        self.events.append((off, bytes([0x80 | self.channel, pitch, 0])))


CHORDS = {
    "C": [60, 64, 67], "Am": [57, 60, 64], "F": [53, 57, 60], "G": [55, 59, 62],
    "Dm": [50, 53, 57], "Em": [52, 55, 59], "Bb": [58, 62, 65], "E": [52, 56, 59],
}


def song_parts(name, beats, rng):
    """(pitched parts, drum part, tempo) of one song."""
    if name == "pop":  # piano, strings, fingered bass; rock kit
        tempo, progression = 100, ["C", "Am", "F", "G"]
        piano, strings, bass = Part(0, 0), Part(1, 48), Part(2, 33)
        for bar in range(beats // 4):
            chord = CHORDS[progression[bar % 4]]
            for b in range(4):
                for p in chord:
                    piano.note(bar * 4 + b, 0.9, p, 70 + rng.randint(0, 15))
            for p in chord:
                strings.note(bar * 4, 4, p + 12, 60)
            for b in range(0, 4, 2):
                bass.note(bar * 4 + b, 1.8, chord[0] - 24, 90)
        pitched = [piano, strings, bass]
        drums = rock_kit(beats, rng)
    elif name == "ballad":  # organ, flute melody, acoustic bass; soft kit with brushes
        tempo, progression = 76, ["Am", "F", "C", "G", "Dm", "Em", "F", "E"]
        organ, flute, bass = Part(0, 19), Part(1, 73), Part(2, 32)
        scale = [69, 71, 72, 74, 76, 77, 79, 81]
        for bar in range(beats // 4):
            chord = CHORDS[progression[bar % 8]]
            for p in chord:
                organ.note(bar * 4, 3.9, p, 55)
            bass.note(bar * 4, 3.5, chord[0] - 24, 85)
            t = 0.0
            while t < 4:
                length = rng.choice([0.5, 1.0, 1.5])
                flute.note(bar * 4 + t, length * 0.95, rng.choice(scale), 80)
                t += length
        pitched = [organ, flute, bass]
        drums = soft_kit(beats, rng)
    elif name == "funk":  # electric piano, brass stabs, slap bass; busy kit
        tempo, progression = 112, ["Dm", "G", "Bb", "C"]
        epiano, brass, bass = Part(0, 4), Part(1, 61), Part(2, 36)
        for bar in range(beats // 4):
            chord = CHORDS[progression[bar % 4]]
            for b in (0, 1.5, 2.5, 3.5):
                for p in chord:
                    epiano.note(bar * 4 + b, 0.4, p + 12, 75)
            for p in chord:
                brass.note(bar * 4 + 1, 0.6, p, 90)
            for s in range(8):
                if rng.random() < 0.7:
                    bass.note(bar * 4 + s * 0.5, 0.35, chord[0] - 24 + rng.choice([0, 0, 12, 7]), 100)
        pitched = [epiano, brass, bass]
        drums = rock_kit(beats, rng, busy=True)
    else:
        raise ValueError("unknown song " + name)
    return pitched, drums, tempo


def rock_kit(beats, rng, busy=False):
    kit = Part(9)
    for b in range(beats):
        kit.note(b, 0.25, 36 if b % 2 == 0 else 38, 110 if b % 2 == 0 else 100)
        for h in (0, 0.5) if not busy else (0, 0.25, 0.5, 0.75):
            kit.note(b + h, 0.1, 42, 70 + rng.randint(0, 20))
        if b % 16 == 0:
            kit.note(b, 1, 49, 100)
        if busy and rng.random() < 0.3:
            kit.note(b + 0.75, 0.1, 36, 90)
    return kit


def soft_kit(beats, rng):
    kit = Part(9)
    for b in range(beats):
        if b % 4 == 0:
            kit.note(b, 0.25, 35, 90)
        if b % 4 == 2:
            kit.note(b, 0.25, 40, 70)
        kit.note(b, 0.2, 51, 60 + rng.randint(0, 15))
        kit.note(b + 0.66, 0.1, 44, 50)
    return kit


def render(parts, tempo, folder, stem):
    events = [e for part in parts for e in part.events]
    mid = os.path.join(folder, stem + ".mid")
    wav = os.path.join(folder, stem + ".wav")
    with open(mid, "wb") as f:
        f.write(midi_file(events, tempo))
    subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.5", "-r", "44100", "-F", wav, SOUNDFONT, mid],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    x, rate = sm.read_wav(wav)
    assert rate == 44100
    return x


def rms(x):
    return float(np.sqrt(np.mean(x * x)))


def make_song(name, seconds, out, balance_db, random_state):
    rng = random.Random(random_state)
    beats_per_second = {"pop": 100 / 60, "ballad": 76 / 60, "funk": 112 / 60}[name]
    beats = int(np.ceil(seconds * beats_per_second / 4)) * 4 + 4
    pitched, drums, tempo = song_parts(name, beats, rng)
    with tempfile.TemporaryDirectory() as folder:
        sustained = render(pitched, tempo, folder, "sustained")
        kit = render([drums], tempo, folder, "drums")
    n = int(seconds * 44100)
    sustained, kit = sm.shifted(sustained, 0, n), sm.shifted(kit, 0, n)
    # Balance: drums balance_db relative to the sustained stem, the mix peaking at -3 dBFS.
    kit *= rms(sustained) / max(rms(kit), 1e-12) * 10 ** (balance_db / 20)
    scale = 10 ** (-3 / 20) / max(np.max(np.abs(sustained + kit)), 1e-12)
    sustained, kit = sustained * scale, kit * scale
    # Quantise the stems to 24 bits first, so that the written mix is their exact sum.
    step = 1.0 / (1 << 23)
    sustained, kit = np.round(sustained / step) * step, np.round(kit / step) * step
    for stem, x in (("mix", sustained + kit), ("sustained", sustained), ("drums", kit)):
        sm.write_wav(os.path.join(out, "%s-%s.wav" % (name, stem)), x, bits=24)
    return rms(sustained), rms(kit)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--songs", default="pop,ballad,funk")
    parser.add_argument("--balance", default="0,-3,3", help="drums against the sustained stem, dB, per song")
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    balances = [float(b) for b in args.balance.split(",")]
    for i, name in enumerate(args.songs.split(",")):
        balance = balances[i % len(balances)]
        a, b = make_song(name, args.seconds, args.outdir, balance, random_state=17 + i)
        print("%s: %.1f s, sustained %.1f dBFS rms, drums %.1f dBFS rms" %
              (name, args.seconds, 20 * np.log10(a), 20 * np.log10(b)))


if __name__ == "__main__":
    main()
