#!/usr/bin/env python3
"""Writes resources/demo.wav: an 8-second stereo mixture at 48 000 Hz, 24-bit, for the demo.

The mixture holds a harmonic, instrument-like tone (a short melody, 12 steady partials per
note, no vibrato), sharp clicks and a bed of soft noise, so that every separation tool has
something to find. The file carries small "bext" and "iXML" chunks so that their copying into
the working file can be seen. Python standard library only; the output is deterministic.
"""
import math
import os
import random
import struct
import sys

RATE = 48000
SECONDS = 8.0
FRAMES = int(RATE * SECONDS)
MELODY = [(0.0, 220.00), (1.0, 261.63), (2.0, 329.63), (3.0, 293.66),
          (4.0, 246.94), (5.0, 220.00), (6.0, 196.00), (7.0, 220.00)]
NOTE_SECONDS = 1.0
PARTIALS = 12


def tone(left, right):
    """Adds the melody: partial k at k x f0 with amplitude 1/k, a soft attack and a decay."""
    for start, f0 in MELODY:
        first = int(start * RATE)
        count = int(NOTE_SECONDS * RATE)
        for k in range(1, PARTIALS + 1):
            freq = k * f0
            if freq >= RATE / 2:
                break
            amp = 0.18 / k
            step = 2.0 * math.pi * freq / RATE
            decay = 1.5 + 0.4 * k
            for i in range(count):
                t = i / RATE
                env = min(1.0, t / 0.01) * math.exp(-decay * t) * min(1.0, (NOTE_SECONDS - t) / 0.02)
                v = amp * env * math.sin(step * i)
                left[first + i] += 0.8 * v
                right[first + i] += 0.5 * v


def clicks(left, right, rng):
    """Adds 24 short clicks (a decaying 3 kHz burst of 2 ms) at irregular times."""
    for _ in range(24):
        at = rng.randrange(RATE // 10, FRAMES - RATE // 10)
        gain = rng.uniform(0.25, 0.45)
        for i in range(RATE // 500):
            v = gain * math.exp(-i / 15.0) * math.sin(2.0 * math.pi * 3000.0 * i / RATE)
            left[at + i] += v
            right[at + i] += 0.9 * v


def noise(left, right, rng):
    """Adds soft noise, low-passed once so that it sounds like air rather than hiss."""
    prev_l = prev_r = 0.0
    for i in range(FRAMES):
        prev_l = 0.7 * prev_l + 0.3 * rng.uniform(-1.0, 1.0)
        prev_r = 0.7 * prev_r + 0.3 * rng.uniform(-1.0, 1.0)
        left[i] += 0.03 * prev_l
        right[i] += 0.04 * prev_r


def chunk(cid, body):
    data = cid + struct.pack('<I', len(body)) + body
    return data + (b'\0' if len(body) % 2 else b'')


def bext_body():
    description = b'Orvex demo: melody, clicks and noise'.ljust(256, b'\0')
    originator = b'make-demo-sound.py'.ljust(32, b'\0')
    reference = b'ORVEXDEMO0001'.ljust(32, b'\0')
    date_time = b'2026-01-0112:00:00'
    fixed = struct.pack('<IIH', 0, 0, 1) + b'\0' * 64 + b'\0' * 10 + b'\0' * 180
    return description + originator + reference + date_time + fixed + b'A=PCM,F=48000,W=24,M=stereo\r\n'


def ixml_body():
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n<BWFXML><IXML_VERSION>1.5</IXML_VERSION>'
            b'<PROJECT>Orvex demo</PROJECT><NOTE>melody, clicks and noise</NOTE></BWFXML>\n')


def write_wave(path, left, right):
    peak = max(max(abs(v) for v in left), max(abs(v) for v in right))
    scale = 0.89 / peak
    audio = bytearray()
    for lv, rv in zip(left, right):
        for v in (lv, rv):
            audio += struct.pack('<i', int(round(v * scale * 8388607)))[:3]
    fmt = struct.pack('<HHIIHH', 1, 2, RATE, RATE * 6, 6, 24)
    body = b'WAVE' + chunk(b'fmt ', fmt) + chunk(b'bext', bext_body()) + chunk(b'iXML', ixml_body())
    body += chunk(b'data', bytes(audio))
    with open(path, 'wb') as out:
        out.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'resources', 'demo.wav')
    rng = random.Random(20260101)
    left = [0.0] * FRAMES
    right = [0.0] * FRAMES
    tone(left, right)
    clicks(left, right, rng)
    noise(left, right, rng)
    write_wave(path, left, right)
    print('wrote %s (%d bytes)' % (path, os.path.getsize(path)))


if __name__ == '__main__':
    main()
