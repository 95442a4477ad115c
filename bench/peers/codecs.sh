#!/usr/bin/env bash
# Loads and saves the same 20-megapixel JPEG, PNG, TIFF (LZW), GIF, JP2, J2K, PPM, Sun raster, TGA
# and PCX files and the same 255 x 255 ICO and WBMP files as bench_codecs with libvips (vips) and
# ImageMagick (convert) in the same run, and prints our times beside theirs with the ratios
# ours / peer (below 1: we are faster). Peer times are whole command runs, best of three; loads
# decode the full picture (vips avg, convert ... null:); saves start from each program's own
# memory-mapped format (.v, .mpc), prepared untimed.
set -euo pipefail

bench="${QUILLORY_BENCH_DIR:-build/bench/bin}/bench_codecs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILLORY_BENCH_WORK="$work"

"$bench" --benchmark_format=json >"$work/ours.json"

have() { command -v "$1" >/dev/null 2>&1; }

# Best of three runs of a command, in milliseconds; "n/a" when it fails.
best() {
  local b="" s e t
  for _ in 1 2 3; do
    s=$(date +%s%N)
    if ! "$@" >/dev/null 2>&1; then
      echo "n/a"
      return
    fi
    e=$(date +%s%N)
    t=$(((e - s) / 1000000))
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
  done
  echo "$b"
}

ours() {
  python3 -c 'import json,sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b["name"].startswith(sys.argv[2] + "/"):
        print(round(b["real_time"], 2))
        break' "$work/ours.json" "$1"
}

ratio() {
  if [ "$2" = "n/a" ] || [ "$2" = "0" ]; then echo "-"; else python3 -c "print(f'{$1 / $2:.2f}')"; fi
}

# Each peer's own fast formats of the same pixels (the palette picture for GIF).
if have vips; then
  vips copy "$work/source.ppm" "$work/source.v"
  vips copy "$work/ours.gif" "$work/palette.v" 2>/dev/null || true
fi
if have convert; then
  convert "$work/source.ppm" "$work/source.mpc"
  convert "$work/ours.gif" "$work/palette.mpc"
  convert "$work/ours.ico" "$work/icon.mpc"
  convert "$work/ours.wbmp" "$work/bilevel.mpc"
fi

printf '%-10s %9s %9s %7s %9s %7s\n' "work" "ours ms" "vips ms" "ratio" "IM ms" "ratio"
for fmt in jpg png tif gif jp2 j2k ppm ras tga pcx ico wbmp; do
  case $fmt in
    jpg) vsave="out.jpg[Q=90]"; isave=(-quality 90 out.jpg) ;;
    png) vsave="out.png"; isave=(out.png) ;;
    tif) vsave="out.tif[compression=lzw,predictor=horizontal]"; isave=(-compress LZW -define tiff:predictor=2 out.tif) ;;
    gif) vsave="out.gif"; isave=(out.gif) ;;
    jp2) vsave="out.jp2[Q=90]"; isave=(-quality 90 out.jp2) ;;
    j2k) vsave="out.j2k[Q=90]"; isave=(-quality 90 out.j2k) ;;
    ppm) vsave="out.ppm"; isave=(out.ppm) ;;
    ras) vsave=""; isave=(out.ras) ;;  # libvips writes no Sun raster
    tga) vsave="out.tga"; isave=(-compress None out.tga) ;;
    pcx) vsave="out.pcx"; isave=(out.pcx) ;;
    ico) vsave="out.ico"; isave=(out.ico) ;;
    wbmp) vsave="out.wbmp"; isave=(out.wbmp) ;;
  esac
  vsrc="$work/source.v"
  isrc="$work/source.mpc"
  if [ "$fmt" = gif ]; then
    vsrc="$work/palette.v"
    isrc="$work/palette.mpc"
  fi
  # Icons and wireless bitmaps: ImageMagick's copy of our small pictures; libvips writes neither.
  if [ "$fmt" = ico ] || [ "$fmt" = wbmp ]; then
    vsrc="$work/none.v"
    isrc="$work/$([ "$fmt" = ico ] && echo icon || echo bilevel).mpc"
  fi

  o=$(ours "Load/$fmt")
  v="n/a"; i="n/a"
  have vips && v=$(best vips avg "$work/ours.$fmt")
  have convert && i=$(best convert "$work/ours.$fmt" null:)
  printf '%-10s %9s %9s %7s %9s %7s\n' "load $fmt" "$o" "$v" "$(ratio "$o" "$v")" "$i" "$(ratio "$o" "$i")"

  o=$(ours "Save/$fmt")
  v="n/a"; i="n/a"
  have vips && [ -f "$vsrc" ] && [ -n "$vsave" ] && v=$(cd "$work" && best vips copy "$vsrc" "$vsave")
  have convert && i=$(cd "$work" && best convert "$isrc" "${isave[@]}")
  printf '%-10s %9s %9s %7s %9s %7s\n' "save $fmt" "$o" "$v" "$(ratio "$o" "$v")" "$i" "$(ratio "$o" "$i")"
done
