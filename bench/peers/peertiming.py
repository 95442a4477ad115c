"""Timing shared by the peer scripts: the best of several runs of a peer's call, and our benchmark's
times by name (milliseconds; the best repetition when it repeats)."""
import json
import os
import subprocess
import time


def best(fn, runs):
    t = []
    for _ in range(runs):
        s = time.perf_counter()
        fn()
        t.append((time.perf_counter() - s) * 1000.0)
    return min(t)


def ours(bench, repetitions=1):
    exe = os.path.join(os.environ.get("QUILLORY_BENCH_DIR", "build/bench/bin"), bench)
    args = [exe, "--benchmark_format=json"]
    if repetitions > 1:
        args.append("--benchmark_repetitions=%d" % repetitions)
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    res = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the mean, median and deviation rows
        name = b["name"].split("/")[0]
        res[name] = min(res.get(name, b["real_time"]), b["real_time"])
    return res
