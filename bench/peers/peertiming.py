"""Shared by the peer scripts: timing the peers, running our benchmarks, counting the threads that
really work on each side, and the rows the scripts print (one JSON object per line on standard
output; scripts/bench-peers gathers them into one table)."""
import ctypes
import json
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import threading
import time


def bench_dir():
    return os.environ.get("QUILLORY_BENCH_DIR", "build/bench/bin")


class ThreadWatch:
    """Looks at a process's threads every few milliseconds, from a thread of its own, and keeps the
    most it saw running (or waiting on a page or the disk) at once: how many threads really work,
    whatever a pool's configured size. Idle pool threads sleep and are not counted. The process's
    direct children count too: a command run under the memory meter is the meter's child."""

    def __init__(self, pid, interval=0.005):
        self._pid = pid
        self._interval = interval
        self._peak = 0
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _working(self):
        n = self._working_in(self._pid)
        try:
            with open("/proc/%d/task/%d/children" % (self._pid, self._pid)) as f:
                children = [int(c) for c in f.read().split()]
        except OSError:
            children = []
        for child in children:
            n += self._working_in(child)
        return n

    @staticmethod
    def _working_in(pid):
        n = 0
        tasks = "/proc/%d/task" % pid
        try:
            tids = os.listdir(tasks)
        except OSError:
            return 0
        for tid in tids:
            try:
                with open("%s/%s/stat" % (tasks, tid), "rb") as f:
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


# Each row runs this many rounds, ours then each peer's in every round, so that a load that comes
# and goes falls on both sides alike; the table shows each side's median and its spread.
RUNS = 3


def wanted(work):
    """Whether a row is to run: QUILLORY_PEERS_ROWS, when set, is a regular expression searched
    in the row's work name (for a quicker run of a few rows)."""
    pattern = os.environ.get("QUILLORY_PEERS_ROWS")
    return not pattern or re.search(pattern, work) is not None


# Peak memory comes from GNU time run around each command (the maximum resident set size of the
# command alone, from the rusage of its wait). The rusage of a child of this script would not do:
# Linux carries the size of the process it was forked from into the figure, which for a Python
# process holding pictures is larger than many a command's own. GNU time adds about a millisecond
# to a command's time, its fork and exec.
METER = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


class Metered:
    """A command line run under the memory meter, and the meter's report once it has ended."""

    def __init__(self, argv):
        self._dir = tempfile.TemporaryDirectory()
        self._out = os.path.join(self._dir.name, "rss")
        self.argv = [METER, "-f", "%M", "-o", self._out, "--"] + list(argv) if METER else list(argv)

    def rss_kb(self):
        """The command's peak resident memory in kB, or None without the meter. The meter's last
        line holds it; a line before it says how a failed command ended."""
        try:
            with open(self._out) as f:
                lines = f.read().split()
            return int(lines[-1]) if METER and lines else None
        except (OSError, ValueError):
            return None
        finally:
            self._dir.cleanup()


def run_watched(argv, **kw):
    """Runs a command to its end: {"ms", "threads" (the most at work at once), "rss_kb" (its peak
    resident memory)}. Raises CalledProcessError when it fails, as a peer that cannot run must not
    give a time."""
    metered = Metered(argv)
    s = time.perf_counter()
    p = subprocess.Popen(metered.argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)
    watch = ThreadWatch(p.pid)
    _, err = p.communicate()
    ms = (time.perf_counter() - s) * 1000.0
    watch.stop()
    rss = metered.rss_kb()
    if p.returncode != 0:
        raise subprocess.CalledProcessError(p.returncode, argv, stderr=err)
    return {"ms": ms, "threads": watch.take(), "rss_kb": rss}


def run_commands(commands, **kw):
    """Commands run one after the other (each a new process) as one sample: their times added,
    the most threads and the highest peak memory of any of them."""
    sample = {"ms": 0.0, "threads": 0, "rss_kb": None}
    for argv in commands:
        one = run_watched(argv, **kw)
        sample["ms"] += one["ms"]
        sample["threads"] = max(sample["threads"], one["threads"])
        if one["rss_kb"] is not None:
            sample["rss_kb"] = max(sample["rss_kb"] or 0, one["rss_kb"])
    return sample


def timed(fn, iterations, threads):
    """An in-process peer's sample: the mean of `iterations` calls (as many as our benchmark ran in
    the same round), in milliseconds."""
    s = time.perf_counter()
    for _ in range(iterations):
        fn()
    return {"ms": (time.perf_counter() - s) * 1000.0 / iterations, "threads": threads}


# A result line of the benchmark's console output: the name, then the time and its unit.
_RESULT = re.compile(r"^(\S+)\s+[0-9.]+ (?:ns|us|ms|s)\s")


def ours(bench, pattern=None, env=None, key=lambda name: name.split("/")[0]):
    """Runs one of our benchmark executables once, only the benchmarks whose names match pattern
    when given: {key(name): {"ms", "threads", "iterations", "counters", "rss_kb"}}, with each
    benchmark's real time per iteration. The threads are counted while each benchmark runs (the
    console prints a line as each one ends, the JSON goes to a file); rss_kb is the peak resident
    memory of the whole process, so it means one benchmark's only when pattern selects one."""
    exe = os.path.join(bench_dir(), bench)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "ours.json")
        args = [exe, "--benchmark_out=" + out, "--benchmark_out_format=json", "--benchmark_color=false"]
        if pattern:
            args.append("--benchmark_filter=" + pattern)
        # Line-buffered, so that each line arrives when its benchmark ends.
        metered = Metered(["stdbuf", "-oL"] + args)
        p = subprocess.Popen(metered.argv, stdout=subprocess.PIPE, text=True, env=env)
        watch = ThreadWatch(p.pid)
        threads = {}
        for line in p.stdout:
            m = _RESULT.match(line)
            if m:
                threads[m.group(1)] = max(threads.get(m.group(1), 0), watch.take())
        p.wait()
        watch.stop()
        rss = metered.rss_kb()
        if p.returncode != 0:
            raise subprocess.CalledProcessError(p.returncode, exe)
        with open(out) as f:
            data = json.load(f)
    res = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
            continue
        counters = {c: v for c, v in b.items() if c not in _NOT_COUNTERS}
        res[key(b["name"])] = {"ms": to_ms(b["real_time"], b["time_unit"]), "threads": threads.get(b["name"]),
                               "iterations": b["iterations"], "counters": counters, "rss_kb": rss}
    return res


class CannotRun(Exception):
    """Raised by a peer's sample function when the peer cannot run at all; the message says why."""


def alternate(work, mine, peers):
    """Runs a row's rounds: in each, our side (mine(), a sample or None when our benchmark gave no
    result) and then each peer ((name, fn) in peers; fn(ours_sample) gives the peer's sample).
    Returns (our samples, {peer: its samples, or why it could not run}), or None, after a failed
    line for our side, when our side could not run. A peer that failed once is not run again."""
    mine_samples, theirs = [], {name: [] for name, _ in peers}
    for _ in range(RUNS):
        try:
            me = mine()
        except subprocess.CalledProcessError as e:
            me, why = None, "our benchmark failed (exit %d)" % e.returncode
        else:
            why = "missing from our benchmark's results"
        if me is None:
            failed(work, "ours", why)
            return None
        mine_samples.append(me)
        for name, fn in peers:
            if isinstance(theirs[name], str):
                continue
            try:
                theirs[name].append(fn(me))
            except subprocess.CalledProcessError as e:
                theirs[name] = reason(e)
            except CannotRun as e:
                theirs[name] = str(e)
    return mine_samples, theirs


_NOT_COUNTERS = {"name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
                 "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
                 "items_per_second", "bytes_per_second", "label", "error_occurred", "error_message",
                 "aggregate_name", "aggregate_unit"}


def to_ms(t, unit):
    return t * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[unit]


def _summary(samples, memory):
    ms = sorted(x["ms"] for x in samples)
    threads = [x["threads"] for x in samples if x.get("threads") is not None]
    rss = [x["rss_kb"] for x in samples if x.get("rss_kb") is not None] if memory else []
    return {"ms": statistics.median(ms), "min": ms[0], "max": ms[-1], "threads": max(threads) if threads else None,
            "rss_kb": max(rss) if rss else None}


def row(work, mine, peer, theirs, ours_bytes=None, peer_bytes=None, memory=False):
    """One line of the table: our samples beside a peer's (from alternate()), each side's median
    with its lowest and highest time, the most threads seen in any round, and with memory, each
    side's highest peak resident memory."""
    if isinstance(theirs, str):
        failed(work, peer, theirs)
        return
    a, b = _summary(mine, memory), _summary(theirs, memory)
    emit({"work": work, "ours_ms": a["ms"], "ours_min": a["min"], "ours_max": a["max"], "ours_threads": a["threads"],
          "ours_rss_kb": a["rss_kb"], "peer": peer, "peer_ms": b["ms"], "peer_min": b["min"], "peer_max": b["max"],
          "peer_threads": b["threads"], "peer_rss_kb": b["rss_kb"], "runs": len(mine), "ours_bytes": ours_bytes,
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
