#!/usr/bin/python3
"""Times OpenCV's resize and warpAffine on the same 20-megapixel work as bench_ops_geo and prints a
row for each (OpenCV's cubic stands in for both bicubic kernels). Each row runs in rounds, our
benchmark (a process of its own) then OpenCV's call, as many times as our benchmark ran it."""
import math
import sys

import cv2
import numpy as np

from peertiming import alternate, note, ours, row, timed, wanted

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
    names = [n for n in ("BM_Resample_Area", "BM_Resample_BSpline", "BM_Resample2_Bilinear", "BM_Resample2_Bicubic",
                         "BM_Resample2_AreaBilinear", "BM_Rotate2_Bilinear", "BM_Resample_Gray8") if wanted(n)]
    if not names:
        return 0
    img = source()
    gray = np.ascontiguousarray(img[:, :, 0])
    peer = {
        "BM_Resample_Area": lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_AREA),
        "BM_Resample_BSpline": lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_CUBIC),
        "BM_Resample2_Bilinear": lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_LINEAR),
        "BM_Resample2_Bicubic": lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_CUBIC),
        "BM_Resample2_AreaBilinear": lambda: cv2.resize(img, (SW, SH), interpolation=cv2.INTER_AREA),
        "BM_Rotate2_Bilinear": lambda: rotate(img, 30),
        # The Fourier transform's 8-bit gray image enlarged to powers of two.
        "BM_Resample_Gray8": lambda: cv2.resize(gray, (8192, 4096), interpolation=cv2.INTER_LINEAR),
    }
    for name in names:
        def mine(name=name):
            return ours("bench_ops_geo", "^%s(/|$)" % name).get(name)

        def opencv(me, name=name):
            return timed(peer[name], me["iterations"], cv2.getNumThreads())

        result = alternate(name, mine, [("OpenCV", opencv)])
        if result:
            row(name, result[0], "OpenCV", result[1]["OpenCV"])
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
