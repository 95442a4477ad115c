#!/usr/bin/python3
"""Draws 200 x 180 thumbnails of the same twenty 20-megapixel JPEGs as bench_thumbnails with
vipsthumbnail and ImageMagick's -thumbnail, and prints them beside our cold and warm tiles.

What "cold" means on each side (the files are in the system's page cache for both, as
bench_thumbnails has just written them):
- ours cold (BM_TwentyTilesCold): a fresh renderer without a tile cache in a running program;
  every file is read, decoded whole and resampled. Ours warm: the tiles come from our disk cache.
- peers: a new process for each file (its start-up and library set-up included), without a
  thumbnail cache of its own; vipsthumbnail also once for all twenty files in one process. The
  peers have no warm mode: the warm rows set our cached tiles beside their cold ones.
Each row runs in rounds: our benchmark (a process of its own, which writes the twenty files
again), then each peer once over the twenty files."""
import glob
import os
import subprocess
import sys
import tempfile

from peertiming import (CannotRun, alternate, imagemagick_threads, note, ours, row, run_commands, tool, vips_concurrency,
                        wanted)

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
    benches = [b for b in BENCHES if wanted(b)]
    if not benches:
        return 0
    with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory() as out:
        env = dict(os.environ, QUILLORY_BENCH_WORK=work, QT_QPA_PLATFORM="offscreen")

        def jpegs():
            return sorted(glob.glob(os.path.join(work, "p*.jpg")))

        for bench in benches:
            def mine(bench=bench):
                me = ours("bench_thumbnails", "^%s(/|$)" % bench, env).get(bench)
                return me if me and len(jpegs()) == 20 else None

            # The commands name the files our benchmark has just written.
            names = [peer for peer, _ in peers([], out)]
            runners = [(peer, lambda me, i=i: run(peers(jpegs(), out)[i][1])) for i, peer in enumerate(names)]
            result = alternate(bench, mine, runners)
            if not result:
                continue
            for peer in names:
                row(bench, result[0], peer, result[1][peer])
    note("configured: libvips pool %s threads, ImageMagick limit %s threads"
         % (vips_concurrency(), imagemagick_threads()))
    return 0


def run(commands):
    """A peer's sample over its commands; a peer that is not installed counts as one that failed."""
    if not commands:
        raise CannotRun("not installed")
    return run_commands(commands)


if __name__ == "__main__":
    sys.exit(main())
