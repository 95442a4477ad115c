#!/usr/bin/python3
"""Times OpenCV's Bayer-to-BGR conversion plus per-channel lookup tables and the bottom-up flip
on the same raw frames as bench_colour_pipeline (which writes them for this run), runs our
benchmark in the same run and prints a row for each frame size (milliseconds per frame)."""
import os
import sys
import tempfile
import time

import cv2
import numpy as np

from peertiming import failed, note, ours, row

SIZES = {"0": (3664, 2740), "4": (640, 480)}


REPETITIONS = 5


def best(fn, runs):
    # Measured as the benchmark measures ours: the mean of a batch of runs, best of five batches.
    t = []
    for _ in range(REPETITIONS):
        s = time.perf_counter()
        for _ in range(runs):
            fn()
        t.append((time.perf_counter() - s) / runs)
    return min(t)


def tables():
    # The same kind of work as the driver's tables: gamma, contrast and a gain per channel.
    i = np.arange(256, dtype=np.float64) / 255.0
    base = np.clip(((i ** ((110 + 48) / 128.0) - 0.5) * 1.2 + 0.5) * 255.0, 0, 255)
    lut = np.empty((1, 256, 3), np.uint8)
    for c, gain in enumerate((90 / 64.0, 1.0, 80 / 64.0)):
        idx = np.clip(np.arange(256) * gain, 0, 255).astype(np.int64)
        lut[0, :, c] = base[idx].astype(np.uint8)
    return lut


def main():
    with tempfile.TemporaryDirectory() as frame_dir:
        # The driver prints its device-open progress on standard output; ours() skips it.
        env = dict(os.environ, QUILLORY_BENCH_FRAME_DIR=frame_dir)
        mine = ours("bench_colour_pipeline", REPETITIONS, env, key=lambda name: name.split("/")[1])
        lut = tables()
        for mode, (w, h) in SIZES.items():
            work = "colour pipeline %dx%d" % (w, h)
            path = os.path.join(frame_dir, "raw_%dx%d.bin" % (w, h))
            if mode not in mine or not os.path.exists(path):
                failed(work, "ours", "missing from bench_colour_pipeline")
                continue
            raw = np.fromfile(path, np.uint8).reshape(h, w)

            def peer():
                bgr = cv2.cvtColor(raw, cv2.COLOR_BayerGR2BGR)
                bgr = cv2.LUT(bgr, lut)
                return cv2.flip(bgr, 0)

            runs = 10 if w > 1000 else 200
            t = best(peer, runs)
            row(work, mine[mode], "OpenCV", t * 1000.0, cv2.getNumThreads())
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
