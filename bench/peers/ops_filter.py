#!/usr/bin/python3
"""Times OpenCV's GaussianBlur, medianBlur and dft on the same 20-megapixel work as
bench_ops_filter, runs our benchmark in the same run and prints a row for each."""
import sys

import cv2
import numpy as np

from peertiming import best, failed, note, ours, row

W, H = 5472, 3648


def source(channels):
    # Same kind of content as the benchmark: gradient plus noise.
    rng = np.random.default_rng(1)
    x = np.arange(W)[None, :]
    y = np.arange(H)[:, None]
    base = ((x + y) // 40).astype(np.int32)
    img = np.empty((H, W, channels), np.uint8)
    for c in range(channels):
        img[:, :, c] = ((base + rng.integers(0, 32, (H, W))) & 255).astype(np.uint8)
    return img if channels > 1 else img[:, :, 0]


def main():
    mine = ours("bench_ops_filter")
    colour = source(3)
    grey = source(1)
    # FFT2 forces 5472 x 3648 up to 8192 x 4096 complex points.
    grid = np.zeros((4096, 8192, 2), np.float64)
    grid[:H, :W, 0] = grey - 128.0
    peer = {
        "BM_GaussianBlur": best(lambda: cv2.GaussianBlur(colour, (9, 9), 2.0), 5),
        "BM_Median3": best(lambda: cv2.medianBlur(colour, 3), 5),
        "BM_FFT2": best(lambda: cv2.dft(grid, flags=cv2.DFT_COMPLEX_OUTPUT), 3),
    }
    peer["BM_FFT2Transform"] = peer["BM_FFT2"]
    for name in ("BM_GaussianBlur", "BM_Median3", "BM_FFT2", "BM_FFT2Transform"):
        if name not in mine:
            failed(name, "ours", "missing from bench_ops_filter")
            continue
        row(name, mine[name], "OpenCV", peer[name], cv2.getNumThreads())
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
