#!/usr/bin/env python3
"""Scores keep sustained and keep transients of orvex-cli against the true stems of test music
made by make-test-music.py: SNR (after the best gain and whole-sample lag), SI-SDR, the level of
each result against its stem, and how far the two results add up to the mix; then the same
results as `orvex-cli score` rates them (mono SNR and SI-SDR).

usage: score-separation.py ORVEX_CLI MUSIC_FOLDER [--songs pop,ballad,funk] [--seconds S]
                           [-- EDIT_OPTIONS...]   (say --method median --mask-power 3)
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soundmath as sm  # noqa: E402


def run(cli, *arguments):
    subprocess.run([cli] + [str(a) for a in arguments], check=True, capture_output=True)


def cli_score(cli, estimate, reference, work):
    """orvex-cli score's mono figures of estimate against reference, cut to the same length."""
    n = min(len(estimate), len(reference))
    paths = []
    for name, x in (("estimate", estimate), ("reference", reference)):
        paths.append(os.path.join(work, name + "-scored.wav"))
        sm.write_wav(paths[-1], x[:n])
    out = subprocess.run([cli, "score", paths[0], "--reference", paths[1], "--json"], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)["mono"]


def separate(cli, mix, seconds, work, edit_options):
    path = os.path.join(work, "mix.wav")
    shutil.copy(mix, path)
    run(cli, "analyse", path, "--start", 0, "--end", seconds)
    out = {}
    for keep in ("sustained", "transients"):
        run(cli, "edit", path, keep, *edit_options)
        target = os.path.join(work, keep + ".wav")
        run(cli, "export", path, target, "--segment")
        out[keep] = sm.read_wav(target)[0]
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli")
    parser.add_argument("music")
    parser.add_argument("--songs", default="pop,ballad,funk")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("edit_options", nargs="*", help="passed to orvex-cli edit, after --")
    args = parser.parse_args()
    print("%-7s %-10s %8s %8s %8s %8s" % ("song", "part", "SNR", "SI-SDR", "mix SNR", "level"))
    for song in args.songs.split(","):
        mix = sm.read_wav(os.path.join(args.music, song + "-mix.wav"))[0]
        stems = {"sustained": sm.read_wav(os.path.join(args.music, song + "-sustained.wav"))[0],
                 "transients": sm.read_wav(os.path.join(args.music, song + "-drums.wav"))[0]}
        with tempfile.TemporaryDirectory() as work:
            parts = separate(args.cli, os.path.join(args.music, song + "-mix.wav"), args.seconds, work,
                             args.edit_options)
            rated = {keep: cli_score(args.cli, parts[keep], stems[keep], work) for keep in parts}
        n = min(len(mix), *(len(p) for p in parts.values()))
        for keep, estimate in parts.items():
            reference = stems[keep][:n]
            scores = sm.aligned_scores(estimate[:n], reference)
            baseline = sm.aligned_scores(mix[:n], reference)
            level = sm.level_db(estimate[:n], reference)
            print("%-7s %-10s %8.2f %8.2f %8.2f %+8.2f" % (song, keep, scores["snr"], scores["si_sdr"],
                                                           baseline["snr"], level))
        residual = sm.mono(mix[:n]) - sm.mono(parts["sustained"][:n]) - sm.mono(parts["transients"][:n])
        print("%-7s %-10s residual of mix - sustained - transients: %.1f dB below the mix" %
              (song, "sum", -sm.level_db(residual, mix[:n])))
        for keep, scores in rated.items():
            print("%-7s %-10s orvex-cli score: SNR %.2f, SI-SDR %.2f" % (song, keep, scores["snr"], scores["si_sdr"]))


if __name__ == "__main__":
    main()
