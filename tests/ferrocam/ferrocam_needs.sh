#!/bin/sh
# libFerrocam.so stands below the hub and knows no camera but its own: it must load without the
# hub or the simulated camera, and take none of their functions.
# Usage: ferrocam_needs.sh libFerrocam.so libVekCamera.so libsimcam.so
set -eu
driver=$1
shift
undefined=$(mktemp)
trap 'rm -f "$undefined"' EXIT
needed=$(readelf -d "$driver" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || { echo "readelf lists nothing $driver needs" >&2; exit 1; }
nm -D --undefined-only "$driver" | awk '{print $NF}' | LC_ALL=C sort -u >"$undefined"
status=0
for lib in "$@"; do
    soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ -n "$soname" ] || soname=$(basename "$lib")
    if printf '%s\n' "$needed" | grep -qxF "$soname"; then
        echo "$(basename "$driver") needs $soname" >&2
        status=1
    fi
    taken=$(nm -D --defined-only "$lib" | awk '{print $NF}' | LC_ALL=C sort -u | LC_ALL=C comm -12 - "$undefined")
    if [ -n "$taken" ]; then
        echo "$(basename "$driver") takes from $soname:" $taken >&2
        status=1
    fi
done
[ $status -ne 0 ] || echo "$(basename "$driver") needs:" $needed
exit $status
