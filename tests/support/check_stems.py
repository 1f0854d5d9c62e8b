#!/usr/bin/env python3
"""Independent check of two stems against their source, with the wave module and numpy.

Usage: check_stems.py SOURCE SELECTION REST START FRAMES [SEGMENT]

Prints one "key=value" line each: the layout of every file (frames, channels, bytes per sample,
rate), how many integer samples of selection + rest differ from the source and by how much at
most, the selection's non-zero samples outside and inside frames START .. START + FRAMES, the
samples of the selection at the writer's limits, and, given the segment export SEGMENT, how many
of its samples differ from the selection stem's segment.
"""
import sys
import wave

import numpy as np


def read(path):
    with wave.open(path, "rb") as w:
        channels, width, rate, frames = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        raw = np.frombuffer(w.readframes(frames), dtype=np.uint8)
    if width != 3:
        raise SystemExit(f"{path}: {width} bytes per sample, not 3")
    triples = raw.reshape(-1, 3).astype(np.int32)
    values = triples[:, 0] | (triples[:, 1] << 8) | (triples[:, 2] << 16)
    values = np.where(values >= 1 << 23, values - (1 << 24), values)
    return values.reshape(-1, channels).astype(np.int64), (frames, channels, width, rate)


def main():
    source, source_layout = read(sys.argv[1])
    selection, selection_layout = read(sys.argv[2])
    rest, rest_layout = read(sys.argv[3])
    start, frames = int(sys.argv[4]), int(sys.argv[5])
    print("source=%d,%d,%d,%d" % source_layout)
    print("selection=%d,%d,%d,%d" % selection_layout)
    print("rest=%d,%d,%d,%d" % rest_layout)
    if selection.shape != source.shape or rest.shape != source.shape:
        return
    difference = selection + rest - source
    print("sum_mismatches=%d" % np.count_nonzero(difference))
    print("sum_max_difference=%d" % (np.abs(difference).max() if difference.size else 0))
    inside = np.zeros(len(source), dtype=bool)
    inside[start:start + frames] = True
    print("outside_nonzero=%d" % np.count_nonzero(selection[~inside]))
    print("inside_nonzero=%d" % np.count_nonzero(selection[inside]))
    print("rest_differs_inside=%d" % np.count_nonzero((rest != source)[inside]))
    print("selection_at_limits=%d" % np.count_nonzero((selection >= 8380220) | (selection <= -(1 << 23))))
    if len(sys.argv) > 6:
        segment, _ = read(sys.argv[6])
        part = selection[start:start + len(segment)]
        print("segment_mismatches=%d" % (np.count_nonzero(part != segment) if part.shape == segment.shape else -1))


if __name__ == "__main__":
    main()
