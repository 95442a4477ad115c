"""Shared by the peer scripts: timing the peers, running our benchmarks, counting the threads that
really work on each side, and the rows the scripts print (one JSON object per line on standard
output; scripts/bench-peers gathers them into one table)."""
import ctypes
import json
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time


def bench_dir():
    return os.environ.get("QUILLORY_BENCH_DIR", "build/bench/bin")


class ThreadWatch:
    """Looks at a process's threads every few milliseconds, from a thread of its own, and keeps the
    most it saw running (or waiting on a page or the disk) at once: how many threads really work,
    whatever a pool's configured size. Idle pool threads sleep and are not counted."""

    def __init__(self, pid, interval=0.005):
        self._tasks = "/proc/%d/task" % pid
        self._interval = interval
        self._peak = 0
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _working(self):
        n = 0
        try:
            tids = os.listdir(self._tasks)
        except OSError:
            return 0
        for tid in tids:
            try:
                with open("%s/%s/stat" % (self._tasks, tid), "rb") as f:
                    stat = f.read()
            except OSError:
                continue  # the thread ended meanwhile
            # The state follows the command name, which is in parentheses and may hold anything.
            if stat[stat.rindex(b")") + 2:][:1] in (b"R", b"D"):
                n += 1
        return n

    def _run(self):
        while not self._stop.is_set():
            n = self._working()
            with self._lock:
                self._peak = max(self._peak, n)
            time.sleep(self._interval)

    def take(self):
        """The most threads seen at work since the last call; at least the one that did the work,
        which a run shorter than the interval can hide from every look."""
        with self._lock:
            peak, self._peak = self._peak, 0
        return max(1, peak)

    def stop(self):
        self._stop.set()
        self._thread.join()


def run_watched(argv, **kw):
    """Runs a command to its end; returns (milliseconds, most threads at work). Raises
    CalledProcessError when it fails, as a peer that cannot run must not give a time."""
    s = time.perf_counter()
    p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)
    watch = ThreadWatch(p.pid)
    _, err = p.communicate()
    ms = (time.perf_counter() - s) * 1000.0
    watch.stop()
    if p.returncode != 0:
        raise subprocess.CalledProcessError(p.returncode, argv, stderr=err)
    return ms, watch.take()


def best_commands(commands, runs=3, **kw):
    """The best of several runs of a list of commands run one after the other (each a new
    process), in milliseconds, and the most threads any of them had at work at once."""
    times, threads = [], 0
    for _ in range(runs):
        total = 0.0
        for argv in commands:
            ms, n = run_watched(argv, **kw)
            total += ms
            threads = max(threads, n)
        times.append(total)
    return min(times), threads


def best(fn, runs):
    t = []
    for _ in range(runs):
        s = time.perf_counter()
        fn()
        t.append((time.perf_counter() - s) * 1000.0)
    return min(t)


# A result line of the benchmark's console output: the name, then the time and its unit.
_RESULT = re.compile(r"^(\S+)\s+[0-9.]+ (?:ns|us|ms|s)\s")


def ours(bench, repetitions=1, env=None, key=lambda name: name.split("/")[0]):
    """Runs one of our benchmark executables: {key(name): {"ms", "threads", "counters"}} with the
    best repetition's real time. The threads are counted while each benchmark runs: the console
    prints a line as each one ends, the JSON goes to a file."""
    exe = os.path.join(bench_dir(), bench)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "ours.json")
        args = [exe, "--benchmark_out=" + out, "--benchmark_out_format=json", "--benchmark_color=false"]
        if repetitions > 1:
            args.append("--benchmark_repetitions=%d" % repetitions)
        # Line-buffered, so that each line arrives when its benchmark ends.
        p = subprocess.Popen(["stdbuf", "-oL"] + args, stdout=subprocess.PIPE, text=True, env=env)
        watch = ThreadWatch(p.pid)
        threads = {}
        for line in p.stdout:
            m = _RESULT.match(line)
            if m:
                threads[m.group(1)] = max(threads.get(m.group(1), 0), watch.take())
        p.wait()
        watch.stop()
        if p.returncode != 0:
            raise subprocess.CalledProcessError(p.returncode, exe)
        with open(out) as f:
            data = json.load(f)
    res = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the mean, median and deviation rows
        if b.get("error_occurred"):
            continue
        k, ms = key(b["name"]), to_ms(b["real_time"], b["time_unit"])
        if k not in res or ms < res[k]["ms"]:
            counters = {c: v for c, v in b.items() if c not in _NOT_COUNTERS}
            res[k] = {"ms": ms, "threads": threads.get(b["name"]), "counters": counters}
    return res


_NOT_COUNTERS = {"name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
                 "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
                 "items_per_second", "bytes_per_second", "label", "error_occurred", "error_message",
                 "aggregate_name", "aggregate_unit"}


def to_ms(t, unit):
    return t * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[unit]


def row(work, mine, peer, peer_ms, peer_threads, ours_bytes=None, peer_bytes=None):
    """One line of the table: our result (from ours()) beside a peer's."""
    emit({"work": work, "ours_ms": mine["ms"], "ours_threads": mine["threads"], "peer": peer,
          "peer_ms": peer_ms, "peer_threads": peer_threads, "ours_bytes": ours_bytes,
          "peer_bytes": peer_bytes})


def failed(work, peer, why):
    """A line for work a peer (or our side) could not do: the table shows why, the run fails."""
    emit({"work": work, "peer": peer, "error": why})


def reason(error):
    """Why a command failed: its exit status (a negative one is the signal) and first error line."""
    lines = (error.stderr or b"").decode(errors="replace").strip().splitlines()
    return "exit %d: %s" % (error.returncode, lines[0] if lines else "")


def emit(obj):
    print(json.dumps(obj), flush=True)


def tool(name):
    """The path of a peer program, or None when it is not installed. ImageMagick is taken from
    Debian's package itself, not from whatever stands first on PATH."""
    if name == "convert" and os.access("/usr/bin/convert", os.X_OK):
        return "/usr/bin/convert"
    return shutil.which(name)


def vips_concurrency():
    """The thread pool size libvips reports (VIPS_CONCURRENCY, else its default), or None."""
    try:
        lib = ctypes.CDLL("libvips.so.42")
        if lib.vips_init(b"peers") != 0:
            return None
        return lib.vips_concurrency_get()
    except OSError:
        return None


def imagemagick_threads():
    """ImageMagick's thread limit as `convert -list resource` prints it, or None."""
    exe = tool("convert")
    if not exe:
        return None
    out = subprocess.run([exe, "-list", "resource"], capture_output=True, text=True).stdout
    m = re.search(r"^\s*Thread:\s*(\d+)", out, re.M)
    return int(m.group(1)) if m else None


def note(text):
    """A line below the table (how a side was measured, its configured threads)."""
    emit({"note": text})
