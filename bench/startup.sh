#!/usr/bin/env bash
# Start-up time of the program: from exec to its first top-level window mapped, N runs (default 5),
# under Xvfb, with HOME and the XDG folders in a temporary folder (an empty profile, as a new user
# has). Builds nothing: the binary comes from QUILLORY_BIN or build/release/bin/quillory.
#
# How it measures: a small python3 helper opens the X display through libX11 (ctypes), selects
# SubstructureNotify on the root window, then takes the clock and starts the program. Without a
# window manager every top-level window is a child of the root, so its MapNotify arrives as an
# event; the helper blocks in XNextEvent (no polling), so the measuring costs nothing while the
# program starts. The time printed is exec to the first MapNotify; the main frame's own map (the
# first window whose title begins with "Quillory") is printed beside it. The program is then killed.
#
# Exits non-zero only when it cannot run (no binary, no Xvfb, no python3, no libX11).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${N:-5}
exe=${QUILLORY_BIN:-build/release/bin/quillory}
if [ ! -x "$exe" ]; then
  echo "bench/startup.sh: no program at $exe (build it with the release preset or set QUILLORY_BIN)" >&2
  exit 2
fi
exe=$(realpath "$exe")
command -v python3 >/dev/null || { echo "bench/startup.sh: python3 is missing" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/config" "$tmp/cache" "$tmp/data" "$tmp/runtime"
chmod 700 "$tmp/runtime"

cat >"$tmp/measure.py" <<'EOF'
import ctypes, ctypes.util, os, signal, statistics, subprocess, sys, time

exe, runs = sys.argv[1], int(sys.argv[2])
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
ERRFUNC = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = ERRFUNC(lambda d, e: 0)  # a window may be gone before its name is read
x11.XSetErrorHandler(ctypes.cast(ignore_errors, ctypes.c_void_p))

dpy = x11.XOpenDisplay(None)
if not dpy:
    sys.exit("bench/startup.sh: cannot open the X display")
root = x11.XDefaultRootWindow(dpy)
SubstructureNotifyMask, MapNotify = 1 << 19, 19
x11.XSelectInput(dpy, root, SubstructureNotifyMask)
x11.XSync(dpy, 0)
fd = x11.XConnectionNumber(dpy)

class XMapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]
ev = (ctypes.c_long * 24)()

def title(win):
    name = ctypes.c_char_p()
    if x11.XFetchName(dpy, win, ctypes.byref(name)) and name.value is not None:
        t = name.value.decode("utf-8", "replace")
        x11.XFree(name)
        return t
    return ""

import select
firsts = []
for i in range(runs):
    while x11.XPending(dpy):  # leftovers of the run before
        x11.XNextEvent(dpy, ev)
    t0 = time.monotonic()
    proc = subprocess.Popen([exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first = main = None
    deadline = t0 + 30
    while main is None and time.monotonic() < deadline and proc.poll() is None:
        if not x11.XPending(dpy):
            select.select([fd], [], [], 0.5)
            if not x11.XPending(dpy):
                continue
        x11.XNextEvent(dpy, ev)
        now = time.monotonic()
        e = ctypes.cast(ev, ctypes.POINTER(XMapEvent)).contents
        if e.type != MapNotify or e.event != root:
            continue
        if first is None:
            first = now
        if title(e.window).startswith("Quillory"):
            main = now
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    if first is None:
        print(f"run {i + 1}: no window mapped", flush=True)
        continue
    ms = (first - t0) * 1000
    firsts.append(ms)
    mainms = f"{(main - t0) * 1000:.1f} ms" if main else "not seen"
    print(f"run {i + 1}: first window {ms:.1f} ms (main frame {mainms})", flush=True)
if not firsts:
    sys.exit("bench/startup.sh: the program mapped no window")
print(f"startup median ms: {statistics.median(firsts):.1f}")
EOF

# A simulated camera stands in when none is plugged, as scripts/run does; the hub then finds it.
export QUILLORY_SIMULATED_CAMERA=${QUILLORY_SIMULATED_CAMERA:-1}
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" \
  XDG_RUNTIME_DIR="$tmp/runtime"
unset QT_QPA_PLATFORM
if [ -n "${DISPLAY:-}" ] && [ -n "${QUILLORY_BENCH_USE_DISPLAY:-}" ]; then
  python3 "$tmp/measure.py" "$exe" "$runs"
  exit $?
fi
command -v xvfb-run >/dev/null || { echo "bench/startup.sh: xvfb-run is missing (scripts/deps installs xvfb)" >&2; exit 2; }
xvfb-run -a -s "-screen 0 1280x1024x24" python3 "$tmp/measure.py" "$exe" "$runs"
