#!/usr/bin/python3
"""Times OpenCV's Bayer-to-BGR conversion plus per-channel lookup tables and the bottom-up flip
on the same raw frames as bench_colour_pipeline (which writes them for this run) and prints a row
for each frame size (milliseconds per frame). Each row runs in rounds, our benchmark (a process of
its own) then OpenCV's calls, as many frames as our benchmark processed in that round."""
import os
import sys
import tempfile

import cv2
import numpy as np

from peertiming import alternate, note, ours, row, timed, wanted

SIZES = {"0": (3664, 2740), "4": (640, 480)}


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
    works = {mode: "colour pipeline %dx%d" % size for mode, size in SIZES.items()}
    if not any(wanted(w) for w in works.values()):
        return 0
    lut = tables()
    with tempfile.TemporaryDirectory() as frame_dir:
        # The driver prints its device-open progress on standard output; ours() skips it.
        env = dict(os.environ, QUILLORY_BENCH_FRAME_DIR=frame_dir)
        for mode, (w, h) in SIZES.items():
            work = works[mode]
            if not wanted(work):
                continue
            path = os.path.join(frame_dir, "raw_%dx%d.bin" % (w, h))

            def mine(mode=mode, path=path):
                me = ours("bench_colour_pipeline", "^BM_ColourPipeline/%s/" % mode, env,
                          key=lambda name: name.split("/")[1]).get(mode)
                return me if me and os.path.exists(path) else None

            def opencv(me, w=w, h=h, path=path):
                raw = np.fromfile(path, np.uint8).reshape(h, w)

                def peer():
                    bgr = cv2.cvtColor(raw, cv2.COLOR_BayerGR2BGR)
                    bgr = cv2.LUT(bgr, lut)
                    return cv2.flip(bgr, 0)

                return timed(peer, me["iterations"], cv2.getNumThreads())

            result = alternate(work, mine, [("OpenCV", opencv)])
            if result:
                row(work, result[0], "OpenCV", result[1]["OpenCV"])
    note("OpenCV %s" % cv2.__version__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
