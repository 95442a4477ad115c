"""Prints the rows the peer scripts wrote (JSON, one object per line, in the files named on the
command line) as one table; ratios are ours / peer of the medians, so below 1 we are faster or
smaller. Lines {"load": "before" or "after", "avg": [1, 5, 15 minutes]} are the machine's load
averages around the run, printed below the table with a warning when either 1-minute figure is
over LOAD_WARNING. Exits with 1 when any row says a peer (or our side) could not run; a slow ratio
or a busy machine is no failure."""
import json
import sys

COLUMNS = ("work", "ours ms", "ours threads", "peer", "peer ms", "peer threads", "ours bytes", "peer bytes",
           "size ratio", "ratio", "ours min-max", "peer min-max", "ours RSS MB", "peer RSS MB")

# Above this 1-minute load average other work competes for the cores, and the times say little.
LOAD_WARNING = 1.5


def ms(v):
    if v is None:
        return "-"
    return "%.0f" % v if v >= 100 else "%.1f" % v if v >= 10 else "%.2f" % v if v >= 1 else "%.3g" % v


def num(v):
    return "-" if v is None else str(v)


def ratio(a, b):
    if a is None or not b:
        return "-"
    return "%.2f" % (a / b) if a / b >= 0.1 else "%.2g" % (a / b)


def spread(lo, hi):
    return "-" if lo is None or hi is None else "%s-%s" % (ms(lo), ms(hi))


def mb(kb):
    return "-" if kb is None else "%.0f" % (kb / 1024.0) if kb >= 10240 else "%.1f" % (kb / 1024.0)


def cells(r):
    if "error" in r:
        return [r["work"], "-", "-", r["peer"], "cannot run: " + r["error"]] + ["-"] * (len(COLUMNS) - 5)
    return [r["work"], ms(r["ours_ms"]), num(r["ours_threads"]), r["peer"], ms(r["peer_ms"]),
            num(r["peer_threads"]), num(r["ours_bytes"]), num(r["peer_bytes"]),
            ratio(r["ours_bytes"], r["peer_bytes"]), ratio(r["ours_ms"], r["peer_ms"]),
            spread(r.get("ours_min"), r.get("ours_max")), spread(r.get("peer_min"), r.get("peer_max")),
            mb(r.get("ours_rss_kb")), mb(r.get("peer_rss_kb"))]


def load_lines(loads):
    """The load averages around the run, and a warning when the machine was busy."""
    out = []
    for when in ("before", "after"):
        if when in loads:
            out.append("load average %s: %s (1, 5, 15 minutes)" % (when, " ".join("%.2f" % v for v in loads[when])))
    busy = [when for when in ("before", "after") if when in loads and loads[when][0] > LOAD_WARNING]
    if busy:
        out.append("warning: the 1-minute load average was over %.1f %s the run: other work shared the cores,"
                   " the times are not to be trusted" % (LOAD_WARNING, " and ".join(busy)))
    return out


def main(paths):
    rows, notes, loads = [], [], {}
    for path in paths:
        with open(path) as f:
            for line in f:
                line = line.strip()
                if not line.startswith("{"):
                    continue  # anything else a script printed
                r = json.loads(line)
                if "load" in r:
                    loads[r["load"]] = r["avg"]
                elif "note" in r:
                    if r["note"] not in notes:
                        notes.append(r["note"])
                else:
                    rows.append(r)
    table = [list(COLUMNS)] + [cells(r) for r in rows]
    widths = [max(len(t[i]) for t in table) for i in range(len(COLUMNS))]
    for n, t in enumerate(table):
        print("| " + " | ".join(c.ljust(w) for c, w in zip(t, widths)) + " |")
        if n == 0:
            print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    runs = sorted({r["runs"] for r in rows if "runs" in r})
    print("ms: the median of %s rounds of each side, our benchmark and then each peer's in every round; min-max:"
          " the fastest and slowest round; ratio: of the medians" % "/".join(str(n) for n in runs or ["-"]))
    print("threads: the most seen at work at once while each side ran, except OpenCV's (cv2.getNumThreads())")
    print("RSS MB: the highest peak resident memory of each side's whole process in any round, for loads and saves"
          " (GNU time; - where not measured)")
    for n in notes:
        print(n)
    for line in load_lines(loads):
        print(line)
        if line.startswith("warning:"):
            print("bench-peers: " + line, file=sys.stderr)  # also where the progress goes
    return 1 if any("error" in r for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
