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
# first window whose title begins with "Quillory") is printed beside it, and, where the server has
# the DAMAGE extension (Xvfb has), the main frame's first drawing: a window that is mapped but not
# yet painted shows the user nothing. The program is then killed.
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
command -v xvfb-run >/dev/null || { echo "bench/startup.sh: xvfb-run is missing (scripts/deps installs xvfb)" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/config" "$tmp/cache" "$tmp/data" "$tmp/runtime"
chmod 700 "$tmp/runtime"

cat >"$tmp/measure.py" <<'PYTHON'
import ctypes, ctypes.util, select, signal, statistics, subprocess, sys, time

exe, runs = sys.argv[1], int(sys.argv[2])
c_ulong, c_int, c_void_p = ctypes.c_ulong, ctypes.c_int, ctypes.c_void_p
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = c_ulong
x11.XDefaultRootWindow.argtypes = [c_void_p]
x11.XSelectInput.argtypes = [c_void_p, c_ulong, ctypes.c_long]
x11.XNextEvent.argtypes = [c_void_p, c_void_p]
x11.XPending.argtypes = [c_void_p]
x11.XConnectionNumber.argtypes = [c_void_p]
x11.XSync.argtypes = [c_void_p, c_int]
x11.XFlush.argtypes = [c_void_p]
x11.XFetchName.argtypes = [c_void_p, c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XFree.argtypes = [c_void_p]
x11.XSetErrorHandler.argtypes = [c_void_p]
ERRFUNC = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)
ignore_errors = ERRFUNC(lambda d, e: 0)  # a window may be gone before it is asked about
x11.XSetErrorHandler(ctypes.cast(ignore_errors, c_void_p))

dpy = x11.XOpenDisplay(None)
if not dpy:
    sys.exit("bench/startup.sh: cannot open the X display")
root = x11.XDefaultRootWindow(dpy)
SubstructureNotifyMask, CreateNotify, MapNotify = 1 << 19, 16, 19
x11.XSelectInput(dpy, root, SubstructureNotifyMask)

# The DAMAGE extension reports the first drawing into a window: the main frame's first picture.
damage_event = None
try:
    xd = ctypes.CDLL(ctypes.util.find_library("Xdamage") or "libXdamage.so.1")
    xd.XDamageQueryExtension.argtypes = [c_void_p, ctypes.POINTER(c_int), ctypes.POINTER(c_int)]
    xd.XDamageCreate.restype = c_ulong
    xd.XDamageCreate.argtypes = [c_void_p, c_ulong, c_int]
    base, err = c_int(), c_int()
    if xd.XDamageQueryExtension(dpy, ctypes.byref(base), ctypes.byref(err)):
        damage_event = base.value  # XDamageNotify is event 0 of the extension
except OSError:
    pass
x11.XSync(dpy, 0)
fd = x11.XConnectionNumber(dpy)
ev = (ctypes.c_long * 24)()  # an XEvent: type, serial, send_event, display, then the window ids

def title(win):
    name = ctypes.c_char_p()
    if x11.XFetchName(dpy, win, ctypes.byref(name)) and name.value is not None:
        t = name.value.decode("utf-8", "replace")
        x11.XFree(name)
        return t
    return ""

def ms(t, t0):
    return f"{(t - t0) * 1000:.1f} ms" if t else "not seen"

firsts, pictures = [], []
for i in range(runs):
    while x11.XPending(dpy):  # leftovers of the run before
        x11.XNextEvent(dpy, ev)
    t0 = time.monotonic()
    proc = subprocess.Popen([exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first = main = painted = None
    mapped = set()
    deadline = t0 + 30
    while (main is None or (painted is None and damage_event is not None)) \
            and time.monotonic() < deadline and proc.poll() is None:
        if not x11.XPending(dpy):
            select.select([fd], [], [], 0.5)
            if not x11.XPending(dpy):
                continue
        x11.XNextEvent(dpy, ev)
        now = time.monotonic()
        kind = ev[0] & 0xFFFFFFFF
        if kind == CreateNotify and ev[4] == root and damage_event is not None:
            xd.XDamageCreate(dpy, ev[5], 3)  # before the window can draw; reports once, when non-empty
            x11.XFlush(dpy)
        elif kind == MapNotify and ev[4] == root:
            mapped.add(ev[5])
            if first is None:
                first = now
            if main is None and title(ev[5]).startswith("Quillory"):
                main = now
        elif damage_event is not None and kind == damage_event and painted is None:
            if ev[4] in mapped and title(ev[4]).startswith("Quillory"):
                painted = now
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    if first is None:
        print(f"run {i + 1}: no window mapped", flush=True)
        continue
    firsts.append((first - t0) * 1000)
    if painted:
        pictures.append((painted - t0) * 1000)
    print(f"run {i + 1}: first window {ms(first, t0)} (main frame mapped {ms(main, t0)}, "
          f"its first picture {ms(painted, t0)})", flush=True)
if not firsts:
    sys.exit("bench/startup.sh: the program mapped no window")
if pictures:
    print(f"main frame's first picture median ms: {statistics.median(pictures):.1f}")
print(f"startup median ms: {statistics.median(firsts):.1f}")
PYTHON

# The simulated camera stands in, as scripts/run has it when no camera is plugged: the camera
# window then opens right after the main frame, as it does for a user with a camera.
export QUILLORY_SIMULATED_CAMERA=${QUILLORY_SIMULATED_CAMERA:-1}
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" \
  XDG_RUNTIME_DIR="$tmp/runtime"
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" python3 "$tmp/measure.py" "$exe" "$runs"
