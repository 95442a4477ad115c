#!/usr/bin/python3
"""Loads and saves the same 20-megapixel JPEG, PNG, TIFF (LZW), GIF, JP2, J2K, PPM, Sun raster, TGA
and PCX files and the same 255 x 255 ICO and WBMP files as bench_codecs with libvips (vips) and
ImageMagick (convert), and prints a row for each beside our time, with the file sizes of saves and
each side's peak resident memory.

Each row runs in rounds: our benchmark process doing that one load or save (LoadFile/<format>,
SaveFile/<format>: nothing else in the process, three runs of it, or a hundred for the small
pictures; the time is their mean), then each peer's command once. Peer times are whole command
runs; loads decode the full picture (vips avg, convert ... null:) of our file; saves start from
each program's own format (.v memory-mapped, .mpc), prepared untimed, ours from the 24-bit picture
made in memory or the palette, icon and bilevel pictures read back untimed from our own files.
Memory is each whole process's peak: the program and its libraries as well as the work."""
import os
import subprocess
import sys
import tempfile

from peertiming import (CannotRun, alternate, failed, imagemagick_threads, note, ours, row, run_watched, tool,
                        vips_concurrency, wanted)

FORMATS = ("jpg", "png", "tif", "gif", "jp2", "j2k", "ppm", "ras", "tga", "pcx", "ico", "wbmp")

# Save options matching ours; None: the peer writes no such file by its name (libvips saves Sun
# raster, TGA, PCX, icons and wireless bitmaps only through magicksave, which is ImageMagick's row).
# JPEG-2000: our quality 90 keeps the picture's lossless stream, which meets its 1.11:1 ratio; libvips
# writes that very file losslessly in one tile. Its default, Q=90, is other work: the irreversible
# wavelet in 512 x 512 tiles, a lossy file.
ONE_TILE = "tile-width=5472,tile-height=3648"  # bench_codecs' picture
VIPS_SAVE = {"jpg": "[Q=90]", "png": "", "tif": "[compression=lzw,predictor=horizontal]", "gif": "",
             "jp2": "[lossless,%s]" % ONE_TILE, "j2k": "[lossless,%s]" % ONE_TILE, "ppm": "", "ras": None,
             "tga": None, "pcx": None, "ico": None, "wbmp": None}
VIPS_LOSSY = {"jp2": "[Q=90]", "j2k": "[Q=90]"}
# Nor does it recognise a wireless bitmap, which has no signature.
VIPS_LOADS = set(FORMATS) - {"wbmp"}
IM_SAVE = {"jpg": ["-quality", "90"], "png": [], "tif": ["-compress", "LZW", "-define", "tiff:predictor=2"],
           "gif": [], "jp2": ["-quality", "90"], "j2k": ["-quality", "90"], "ppm": [], "ras": [],
           "tga": ["-compress", "None"], "pcx": [], "ico": [], "wbmp": []}


def source(fmt, kind):
    # The palette picture for GIF; ours' small pictures for icons and wireless bitmaps.
    return {"gif": "palette", "ico": "icon", "wbmp": "bilevel"}.get(fmt, "source") + kind


def prepare(work, vips, convert):
    pictures = {"source": "source.ppm", "palette": "ours.gif", "icon": "ours.ico", "bilevel": "ours.wbmp"}
    for name, path in pictures.items():
        src = os.path.join(work, path)
        if vips and name in ("source", "palette"):
            subprocess.run([vips, "copy", src, os.path.join(work, name + ".v")], check=True,
                           capture_output=True)
        if convert:
            subprocess.run([convert, src, os.path.join(work, name + ".mpc")], check=True, capture_output=True)


def main():
    works = [(fmt, action) for fmt in FORMATS for action in ("load", "save") if wanted("%s %s" % (action, fmt))]
    if not works:
        return 0
    vips, convert = tool("vips"), tool("convert")
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, QUILLORY_BENCH_WORK=work)

        def mine(pattern, name):
            return ours("bench_codecs", pattern, env, key=lambda n: "/".join(n.split("/")[:2])).get(name)

        # Untimed: the source picture's P6 copy and the palette, icon and bilevel files that the
        # saves start from.
        try:
            ready = mine("^Save/(gif|ico|wbmp)/", "Save/gif") is not None
        except subprocess.CalledProcessError:
            ready = False
        if not ready:
            for fmt, action in works:
                failed("%s %s" % (action, fmt), "ours", "bench_codecs could not write the source pictures")
            return 0
        prepare(work, vips, convert)
        for fmt in FORMATS:
            ours_file = os.path.join(work, "ours." + fmt)
            out = os.path.join(work, "out." + fmt)
            lines = {}
            # The save first: the load reads the file it writes.
            for action in ("save", "load"):
                name = "%s %s" % (action, fmt)
                if (fmt, action) not in works:
                    continue
                bench = "%sFile/%s" % (action.capitalize(), fmt)
                if action == "load" and not os.path.exists(ours_file):
                    try:
                        mine("^SaveFile/%s/" % fmt, "SaveFile/" + fmt)  # untimed: the file to load
                    except subprocess.CalledProcessError:
                        pass  # the load's rounds then say that our side failed

                def me(bench=bench):
                    return mine("^%s/" % bench, bench)

                peers = []
                for peer, exe in (("libvips", vips), ("ImageMagick", convert)):
                    if action == "load":
                        if peer == "libvips" and fmt not in VIPS_LOADS:
                            continue
                        cmd = exe and ([exe, "avg", ours_file] if peer == "libvips" else [exe, ours_file, "null:"])
                    else:
                        if peer == "libvips" and VIPS_SAVE[fmt] is None:
                            continue  # libvips writes no such file
                        if peer == "libvips":
                            cmd = exe and [exe, "copy", os.path.join(work, source(fmt, ".v")), out + VIPS_SAVE[fmt]]
                        else:
                            cmd = exe and [exe, os.path.join(work, source(fmt, ".mpc"))] + IM_SAVE[fmt] + [out]
                    peers.append((peer, lambda _, cmd=cmd, save=action == "save": sample(cmd, save and out)))
                if action == "save" and fmt in VIPS_LOSSY:
                    # libvips' default beside it, for the record: other work, a smaller lossy file.
                    cmd = vips and [vips, "copy", os.path.join(work, source(fmt, ".v")), out + VIPS_LOSSY[fmt]]
                    peers.append(("libvips Q=90, lossy", lambda _, cmd=cmd: sample(cmd, out)))
                collected = Rows()
                result = alternate(name, me, peers) if peers else None
                if result:
                    mine_samples, theirs = result
                    size = None
                    if action == "save":
                        size = mine_samples[-1]["counters"].get("bytes")  # a counter, so a float
                        if size is None and os.path.exists(ours_file):
                            size = os.path.getsize(ours_file)
                        size = None if size is None else int(size)
                    for peer, _ in peers:
                        t = theirs[peer]
                        peer_size = None if isinstance(t, str) or action == "load" else t[-1]["bytes"]
                        collected.add(name, mine_samples, peer, t, size, peer_size)
                lines[action] = collected
            # The table keeps a format's load above its save.
            for action in ("load", "save"):
                if action in lines:
                    lines[action].emit()
    note("configured: libvips pool %s threads, ImageMagick limit %s threads"
         % (vips_concurrency(), imagemagick_threads()))
    return 0


def sample(cmd, out):
    """One run of a peer's command; a save's sample also has the size of the file it wrote."""
    if not cmd:
        raise CannotRun("not installed")
    one = run_watched(cmd)
    if out:
        one["bytes"] = os.path.getsize(out)
        os.remove(out)
    return one


class Rows:
    """A format's rows, held until its load and save are both measured."""

    def __init__(self):
        self.rows = []

    def add(self, *args):
        self.rows.append(args)

    def emit(self):
        for work, mine_samples, peer, theirs, size, peer_size in self.rows:
            row(work, mine_samples, peer, theirs, size, peer_size, memory=True)


if __name__ == "__main__":
    sys.exit(main())
