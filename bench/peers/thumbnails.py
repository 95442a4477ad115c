#!/usr/bin/python3
"""Draws 200 x 180 thumbnails of the same twenty 20-megapixel JPEGs as bench_thumbnails with
vipsthumbnail and ImageMagick's -thumbnail, and prints them beside our cold and warm tiles.

What "cold" means on each side (the files are in the system's page cache for both, as
bench_thumbnails has just written them):
- ours cold (BM_TwentyTilesCold): a fresh renderer without a tile cache in a running program;
  every file is read, decoded whole and resampled. Ours warm: the tiles come from our disk cache.
- peers: a new process for each file (its start-up and library set-up included), without a
  thumbnail cache of its own; vipsthumbnail also once for all twenty files in one process. The
  peers have no warm mode: the warm rows set our cached tiles beside their cold ones."""
import glob
import os
import subprocess
import sys
import tempfile

from peertiming import (best_commands, failed, imagemagick_threads, note, ours, reason, row, tool,
                        vips_concurrency)

BENCHES = ("BM_TwentyTilesCold", "BM_TwentyTilesWarm")


def peers(jpegs, out):
    """Each peer's name and its commands, or None for its commands when it is not installed."""
    vips, convert = tool("vipsthumbnail"), tool("convert")
    tiles = os.path.join(out, "%s.png")
    return [
        ("vipsthumbnail, a process each", vips and [[vips, "-s", "200x180", f, "-o", tiles] for f in jpegs]),
        ("vipsthumbnail, one process", vips and [[vips, "-s", "200x180"] + jpegs + ["-o", tiles]]),
        ("ImageMagick, a process each",
         convert and [[convert, f, "-thumbnail", "200x180", os.path.join(out, "im%02d.png" % i)]
                      for i, f in enumerate(jpegs)]),
    ]


def main():
    with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory() as out:
        env = dict(os.environ, QUILLORY_BENCH_WORK=work, QT_QPA_PLATFORM="offscreen")
        mine = ours("bench_thumbnails", env=env)
        jpegs = sorted(glob.glob(os.path.join(work, "p*.jpg")))
        timed = {}
        for peer, commands in peers(jpegs, out):
            try:
                timed[peer] = best_commands(commands) if commands else "not installed"
            except subprocess.CalledProcessError as e:
                timed[peer] = reason(e)
        for bench in BENCHES:
            if bench not in mine or len(jpegs) != 20:
                failed(bench, "ours", "missing from bench_thumbnails")
                continue
            for peer, result in timed.items():
                if isinstance(result, str):
                    failed(bench, peer, result)
                else:
                    row(bench, mine[bench], peer, *result)
    note("configured: libvips pool %s threads, ImageMagick limit %s threads"
         % (vips_concurrency(), imagemagick_threads()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
