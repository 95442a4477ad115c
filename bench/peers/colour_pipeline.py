#!/usr/bin/python3
"""Times OpenCV's Bayer-to-BGR conversion plus per-channel lookup tables and the bottom-up flip
on the same raw frames as bench_colour_pipeline (which writes them for this run), runs our
benchmark in the same run and prints frames per second and the ratio (ours / OpenCV)."""
import json
import os
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np

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


def ours(frame_dir):
    exe = os.path.join(os.environ.get("QUILLORY_BENCH_DIR", "build/bench/bin"), "bench_colour_pipeline")
    env = dict(os.environ, QUILLORY_BENCH_FRAME_DIR=frame_dir)
    # The driver prints its device-open progress on standard output: the results go to a file.
    result_file = os.path.join(frame_dir, "ours.json")
    subprocess.run([exe, "--benchmark_out=" + result_file, "--benchmark_out_format=json",
                    "--benchmark_repetitions=%d" % REPETITIONS], check=True, capture_output=True, text=True, env=env)
    with open(result_file) as f:
        data = json.load(f)
    res = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the mean, median and deviation rows
        mode = b["name"].split("/")[1]
        res[mode] = min(res.get(mode, float("inf")), b["real_time"] / 1000.0)  # seconds
    return res


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
        mine = ours(frame_dir)
        lut = tables()
        print("%-12s %12s %12s %8s" % ("frame", "ours fps", "OpenCV fps", "ratio"))
        for mode, (w, h) in SIZES.items():
            path = os.path.join(frame_dir, "raw_%dx%d.bin" % (w, h))
            if mode not in mine or not os.path.exists(path):
                print("%-12s missing" % ("%dx%d" % (w, h)))
                continue
            raw = np.fromfile(path, np.uint8).reshape(h, w)

            def peer():
                bgr = cv2.cvtColor(raw, cv2.COLOR_BayerGR2BGR)
                bgr = cv2.LUT(bgr, lut)
                return cv2.flip(bgr, 0)

            runs = 10 if w > 1000 else 200
            t = best(peer, runs)
            print("%-12s %12.1f %12.1f %8.2f" % ("%dx%d" % (w, h), 1.0 / mine[mode], 1.0 / t, (1.0 / mine[mode]) / (1.0 / t)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
