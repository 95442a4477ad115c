#!/usr/bin/python3
"""Draws 200 x 180 thumbnails of the same twenty 20-megapixel JPEGs as bench_thumbnails with
vipsthumbnail and ImageMagick's -thumbnail, and prints them beside our cold and warm tiles.

What "cold" means on each side (the files are in the system's page cache for both, as bench_thumbnails
has just written them):
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

from peertiming import best_commands, failed, imagemagick_threads, note, ours, row, tool, vips_concurrency

BENCHES = {"BM_TwentyTilesCold": "20 tiles cold", "BM_TwentyTilesWarm": "20 tiles warm"}


def main():
    vips, convert = tool("vipsthumbnail"), tool("convert")
    with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory() as out:
        mine = ours("bench_thumbnails", env=dict(os.environ, QUILLORY_BENCH_WORK=work, QT_QPA_PLATFORM="offscreen"))
        jpegs = sorted(glob.glob(os.path.join(work, "p*.jpg")))
        peers = []
        if vips:
            tiles = os.path.join(out, "%s.png")
            peers.append(("vipsthumbnail, a process each", [[vips, "-s", "200x180", f, "-o", tiles] for f in jpegs]))
            peers.append(("vipsthumbnail, one process", [[vips, "-s", "200x180"] + jpegs + ["-o", tiles]]))
        if convert:
            peers.append(("ImageMagick, a process each",
                          [[convert, f, "-thumbnail", "200x180", os.path.join(out, "im%d.png" % i)]
                           for i, f in enumerate(jpegs)]))
        timed = {}
        for peer, commands in peers:
            try:
                timed[peer] = best_commands(commands)
            except subprocess.CalledProcessError as e:
                timed[peer] = "exit %d: %s" % (e.returncode, (e.stderr or b"").decode(errors="replace").strip())
        for bench, work_name in BENCHES.items():
            if bench not in mine or len(jpegs) != 20:
                failed(work_name, "ours", "missing from bench_thumbnails")
                continue
            for peer, result in timed.items():
                if isinstance(result, str):
                    failed(work_name, peer, result)
                else:
                    row(work_name, mine[bench], peer, result[0], result[1])
            if not vips:
                failed(work_name, "vipsthumbnail", "not installed")
            if not convert:
                failed(work_name, "ImageMagick", "not installed")
    note("configured: libvips pool %s threads, ImageMagick limit %s threads"
         % (vips_concurrency(), imagemagick_threads()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
