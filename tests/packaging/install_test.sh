#!/usr/bin/env bash
# Installs the built tree into a scratch folder and checks what a desktop gets: the file list,
# that every installed program and library finds its libraries, the desktop entry and AppStream
# data, and that the installed program starts with an image and keeps running.
# install_test.sh BUILD-DIR STAGE-DIR
set -euo pipefail
build=$1
stage=$2
prefix=/usr/local
rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$stage$prefix"
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# The file list: exactly the program, its libraries and the desktop files.
expected=$(
  echo bin/quillory
  for l in VekCamera Ferrocam usbtransporthook lumostubhook simcam videodev qodirectx \
           Lumo01 Lumo03 Lumo04 Lumo08 Lumo10 Lumo11 Lumo12 Lumo13 Lumo14 Lumo16 Lumo17 Lumo18 \
           Lumo21 Lumo23 Lumo24 Lumo25 Lumo26 Lumo27 Lumo29 Lumo30cam Lumo31cam Lumo32cam \
           Lumo33cam Lumo34cam Lumo35cam Lumo36cam Lumo37cam Lumo38cam; do
    echo "lib/quillory/lib$l.so"
  done
  echo share/applications/org.quillory.Quillory.desktop
  echo share/metainfo/org.quillory.Quillory.metainfo.xml
  for s in 16 22 24 32 48 64 128 256; do echo "share/icons/hicolor/${s}x$s/apps/org.quillory.Quillory.png"; done
  echo share/icons/hicolor/scalable/apps/org.quillory.Quillory.svg
  echo share/doc/quillory/copyright
  echo share/doc/quillory/changelog.gz
)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||')
if ! diff <(sort <<<"$expected") <(sort <<<"$actual"); then
  bad "the installed files differ from the list (< expected, > installed)"
fi
[ -z "$(find "$stage" -path "$root" -prune -o -type f -print)" ] || bad "files outside the prefix"
# The rules go only where udev reads them, which /usr/local is not.
[ ! -e "$root/lib/udev" ] || bad "udev rules installed under $prefix"

# Every ELF file finds its libraries through its own run path, not the build tree's.
for f in "$root/bin/quillory" "$root"/lib/quillory/*.so; do
  runpath=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case "$f" in
    */bin/quillory) want='$ORIGIN/../lib/quillory' ;;
    *) want='$ORIGIN' ;;
  esac
  [ "$runpath" = "$want" ] || bad "$f: RUNPATH '$runpath', not '$want'"
  if missing=$(ldd "$f" | grep "not found"); then bad "$f: $missing"; fi
  if ldd "$f" | grep -q "$build/lib/"; then bad "$f: loads a library from the build tree"; fi
done

# The desktop entry and the AppStream data.
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/deps installs it)"
    exit 77
  fi
done
desktop-file-validate "$root/share/applications/org.quillory.Quillory.desktop" || bad "desktop entry invalid"
appstreamcli validate --no-net "$root/share/metainfo/org.quillory.Quillory.metainfo.xml" || bad "metainfo invalid"
for s in 16 22 24 32 48 64 128 256; do
  [ "$(identify -format '%m %wx%h' "$root/share/icons/hicolor/${s}x$s/apps/org.quillory.Quillory.png")" = "PNG ${s}x$s" ] ||
    bad "icon ${s}x$s is not a $s x $s PNG"
done
svg="$root/share/icons/hicolor/scalable/apps/org.quillory.Quillory.svg"
python3 -c 'import sys, xml.etree.ElementTree as E; sys.exit(E.parse(sys.argv[1]).getroot().tag != "{http://www.w3.org/2000/svg}svg")' "$svg" ||
  bad "the scalable icon is not an SVG document"


# The installed program starts with an image on the offscreen platform and keeps running; SIGTERM
# closes it as its close button does: a clean exit, with its settings written.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
convert -size 40x30 xc:orange "$home/arg.png"
QT_QPA_PLATFORM=offscreen HOME="$home" XDG_CONFIG_HOME="$home/cfg" XDG_CACHE_HOME="$home/cache" \
  XDG_DATA_HOME="$home/data" QUILLORY_SIMULATED_CAMERA=0 \
  "$root/bin/quillory" -nologo "$home/arg.png" >"$home/out.txt" 2>&1 &
pid=$!
sleep 5
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" && rc=0 || rc=$?
  bad "the installed program ended on its own (status $rc): $(tail -n 5 "$home/out.txt")"
else
  kill -TERM "$pid"
  wait "$pid" && rc=0 || rc=$?
  [ "$rc" -eq 0 ] || bad "the installed program did not close cleanly on SIGTERM (status $rc): $(tail -n 5 "$home/out.txt")"
  [ -s "$home/cfg/Quillory/Quillory.ini" ] || bad "the program closed without writing its settings"
fi
# Nothing was written under the prefix while it ran.
[ -z "$(find "$stage" -newer "$home/arg.png" -print -quit)" ] || bad "the program wrote under the prefix"
exit $fail
