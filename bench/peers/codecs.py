#!/usr/bin/python3
"""Loads and saves the same 20-megapixel JPEG, PNG, TIFF (LZW), GIF, JP2, J2K, PPM, Sun raster, TGA
and PCX files and the same 255 x 255 ICO and WBMP files as bench_codecs with libvips (vips) and
ImageMagick (convert), and prints a row for each beside our time, with the file sizes of saves.
Peer times are whole command runs, best of three; loads decode the full picture (vips avg,
convert ... null:); saves start from each program's own memory-mapped format (.v, .mpc), prepared
untimed."""
import os
import subprocess
import sys
import tempfile

from peertiming import (best_commands, failed, imagemagick_threads, note, ours, reason, row, tool,
                        vips_concurrency)

FORMATS = ("jpg", "png", "tif", "gif", "jp2", "j2k", "ppm", "ras", "tga", "pcx", "ico", "wbmp")

# Save options matching ours; None: the peer writes no such file by its name (libvips saves Sun
# raster, TGA, PCX, icons and wireless bitmaps only through magicksave, which is ImageMagick's row).
VIPS_SAVE = {"jpg": "[Q=90]", "png": "", "tif": "[compression=lzw,predictor=horizontal]", "gif": "",
             "jp2": "[Q=90]", "j2k": "[Q=90]", "ppm": "", "ras": None, "tga": None, "pcx": None, "ico": None,
             "wbmp": None}
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


def peer_row(work_name, mine, peer, commands, out=None, ours_bytes=None):
    try:
        ms, threads = best_commands(commands)
    except subprocess.CalledProcessError as e:
        failed(work_name, peer, reason(e))
        return
    row(work_name, mine, peer, ms, threads, ours_bytes, os.path.getsize(out) if out else None)


def main():
    vips, convert = tool("vips"), tool("convert")
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, QUILLORY_BENCH_WORK=work)
        mine = ours("bench_codecs", env=env, key=lambda name: "/".join(name.split("/")[:2]))
        prepare(work, vips, convert)
        for fmt in FORMATS:
            ours_file = os.path.join(work, "ours." + fmt)
            for action in ("load", "save"):
                name = "%s %s" % (action, fmt)
                me = mine.get(action.capitalize() + "/" + fmt)
                if me is None:
                    failed(name, "ours", "missing from bench_codecs")
                    continue
                size = None
                if action == "save":
                    size = me["counters"].get("bytes")  # a counter, so a float
                    if size is None and os.path.exists(ours_file):
                        size = os.path.getsize(ours_file)
                    size = None if size is None else int(size)
                for peer, exe in (("libvips", vips), ("ImageMagick", convert)):
                    if not exe:
                        failed(name, peer, "not installed")
                        continue
                    if action == "load":
                        if peer == "libvips" and fmt not in VIPS_LOADS:
                            continue
                        cmd = [exe, "avg", ours_file] if peer == "libvips" else [exe, ours_file, "null:"]
                        peer_row(name, me, peer, [cmd])
                        continue
                    out = os.path.join(work, "out." + fmt)
                    if peer == "libvips":
                        if VIPS_SAVE[fmt] is None:
                            continue  # libvips writes no such file
                        cmd = [exe, "copy", os.path.join(work, source(fmt, ".v")), out + VIPS_SAVE[fmt]]
                    else:
                        cmd = [exe, os.path.join(work, source(fmt, ".mpc"))] + IM_SAVE[fmt] + [out]
                    peer_row(name, me, peer, [cmd], out, size)
                    os.remove(out)
    note("configured: libvips pool %s threads, ImageMagick limit %s threads"
         % (vips_concurrency(), imagemagick_threads()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
