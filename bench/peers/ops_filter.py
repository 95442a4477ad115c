#!/usr/bin/python3
"""Times OpenCV doing the same 20-megapixel work as bench_ops_filter: the unsharp mask, the 3 x 3
median and the two-dimensional FFT. Each row runs in rounds, our benchmark (a process of its own)
then OpenCV's calls, as many as our benchmark ran in that round; a row for each.

imagelib has no plain Gaussian blur of its own (the Blur command is a 3 x 3 box filter through
PxImage::Filter; the Gaussian is only the unsharp mask's first step), so there is no plain-blur
row: BM_GaussianBlur is our whole unsharp mask, and OpenCV's side is its unsharp mask too."""
import math
import sys

import cv2
import numpy as np

from peertiming import alternate, note, ours, row, timed, wanted

W, H = 5472, 3648

# BM_GaussianBlur runs PxImage::UnsharpMask(1.0f, 0.5f, 0) on a 24-bit picture.
RADIUS, AMOUNT, THRESHOLD = 1.0, 0.5, 0


def unsharp_kernel(radius):
    """The Gaussian of PxImage::gen_convolve_matrix: sigma |radius| + 1, taps reaching 2 sigma
    (2 ceil(2 sigma - 0.5) + 1 of them: 9 for radius 1)."""
    sigma = abs(radius) + 1.0
    return 2 * math.ceil(2.0 * sigma - 0.5) + 1, sigma


def unsharp_mask(src):
    """OpenCV's unsharp mask with our parameters.
    Ours (imagelib/ops/filter/pxunsharp.cpp, pxunsharprows.cpp): a separable Gaussian blur, rows
    then columns, each rounded to bytes (its weights are the Gaussian's mean over each pixel,
    normalised; the picture's edges rescale by the weights inside it); then every byte s, with its
    blurred value b, becomes trunc(s + amount (s - b)) clamped to 0..255, or stays s where
    2 |s - b| < threshold. With threshold 0 that keeps no byte, and its vector merge leaves out
    the comparison.
    OpenCV's: GaussianBlur with the same taps and sigma (sampled weights, mirrored edges),
    addWeighted(src, 1 + amount, blurred, -amount) saturated to bytes (rounded where ours
    truncates: at most one level apart), and the threshold mask, computed whatever the threshold:
    absdiff, compare |s - b| < threshold / 2, copyTo of the source where it holds. Ours works in
    place on a copy made outside the timing; OpenCV's steps write into pictures made once outside
    the timing (one set per source), so that neither side times fresh memory."""
    taps, sigma = unsharp_kernel(RADIUS)
    b = _buffers.setdefault(id(src), [np.empty_like(src) for _ in range(4)])
    blurred, sharp, diff, keep = b
    cv2.GaussianBlur(src, (taps, taps), sigma, dst=blurred)
    cv2.addWeighted(src, 1.0 + AMOUNT, blurred, -AMOUNT, 0.0, dst=sharp)
    cv2.absdiff(src, blurred, dst=diff)
    cv2.compare(diff, THRESHOLD / 2.0, cv2.CMP_LT, dst=keep)
    return cv2.copyTo(src, keep, sharp)


_buffers = {}


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
    names = [n for n in ("BM_GaussianBlur", "BM_Median3", "BM_FFT2", "BM_FFT2Transform") if wanted(n)]
    if not names:
        return 0
    colour = source(3)
    grey = source(1)
    # FFT2 forces 5472 x 3648 up to 8192 x 4096 complex points.
    grid = np.zeros((4096, 8192, 2), np.float64)
    grid[:H, :W, 0] = grey - 128.0
    peer = {
        "BM_GaussianBlur": lambda: unsharp_mask(colour),
        "BM_Median3": lambda: cv2.medianBlur(colour, 3),
        "BM_FFT2": lambda: cv2.dft(grid, flags=cv2.DFT_COMPLEX_OUTPUT),
        "BM_FFT2Transform": lambda: cv2.dft(grid, flags=cv2.DFT_COMPLEX_OUTPUT),
    }
    for name in names:
        def mine(name=name):
            return ours("bench_ops_filter", "^%s(/|$)" % name).get(name)

        def opencv(me, name=name):
            return timed(peer[name], me["iterations"], cv2.getNumThreads())

        result = alternate(name, mine, [("OpenCV", opencv)])
        if result:
            row(name, result[0], "OpenCV", result[1]["OpenCV"])
    taps, sigma = unsharp_kernel(RADIUS)
    note("BM_GaussianBlur: an unsharp mask on both sides (radius %g: %d taps, sigma %g; amount %g; threshold %d):"
         " ours UnsharpMask, OpenCV GaussianBlur + addWeighted + absdiff/compare/copyTo"
         % (RADIUS, taps, sigma, AMOUNT, THRESHOLD))
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
