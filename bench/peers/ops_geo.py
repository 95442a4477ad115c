#!/usr/bin/python3
"""Times OpenCV's resize and warpAffine on the same 20-megapixel work as bench_ops_geo, runs our
benchmark in the same run and prints a row for each (OpenCV's cubic stands in for both bicubic
kernels)."""
import math
import sys

import cv2
import numpy as np

from peertiming import best, failed, note, ours, row

W, H = 5472, 3648
SW, SH = W * 3 // 4, H * 3 // 4


def source():
    # Same kind of content as the benchmark: gradient plus noise.
    rng = np.random.default_rng(1)
    x = np.arange(W)[None, :]
    y = np.arange(H)[:, None]
    base = ((x + y) // 40).astype(np.int32)
    img = np.empty((H, W, 3), np.uint8)
    for c in range(3):
        img[:, :, c] = ((base + rng.integers(0, 32, (H, W))) & 255).astype(np.uint8)
    return img


def rotate(img, degrees):
    # The whole turned picture, as Rotate2 keeps it: the bounding box of the rotated corners.
    a = math.radians(degrees)
    c, s = abs(math.cos(a)), abs(math.sin(a))
    nw, nh = int(math.floor(W * c + H * s + 0.5)), int(math.floor(W * s + H * c + 0.5))
    m = cv2.getRotationMatrix2D((W / 2.0, H / 2.0), -degrees, 1.0)
    m[0, 2] += nw / 2.0 - W / 2.0
    m[1, 2] += nh / 2.0 - H / 2.0
    return cv2.warpAffine(img, m, (nw, nh), flags=cv2.INTER_LINEAR, borderMode=cv2.BORDER_CONSTANT,
                          borderValue=(255, 255, 255))


def main():
    mine = ours("bench_ops_geo", 5)  # best of five runs, as for OpenCV below
    img = source()
    gray = np.ascontiguousarray(img[:, :, 0])
    peer = {
        "BM_Resample_Area": best(lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_AREA), 5),
        "BM_Resample_BSpline": best(lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_CUBIC), 5),
        "BM_Resample2_Bilinear": best(lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_LINEAR), 5),
        "BM_Resample2_Bicubic": best(lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_CUBIC), 5),
        "BM_Resample2_AreaBilinear": best(lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_AREA), 5),
        "BM_Rotate2_Bilinear": best(lambda: rotate(img, 30), 3),
        # The Fourier transform's 8-bit gray image enlarged to powers of two.
        "BM_Resample_Gray8": best(lambda: cv2.resize(gray, (8192, 4096), interpolation=cv2.INTER_LINEAR), 5),
    }
    names = ("BM_Resample_Area", "BM_Resample_BSpline", "BM_Resample2_Bilinear", "BM_Resample2_Bicubic",
             "BM_Resample2_AreaBilinear", "BM_Rotate2_Bilinear", "BM_Resample_Gray8")
    for name in names:
        if name not in mine:
            failed(name, "ours", "missing from bench_ops_geo")
            continue
        row(name, mine[name], "OpenCV", peer[name], cv2.getNumThreads())
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
