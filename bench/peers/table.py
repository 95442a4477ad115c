"""Prints the rows the peer scripts wrote (JSON, one object per line, in the files named on the
command line) as one table; ratios are ours / peer, so below 1 we are faster or smaller. Exits
with 1 when any row says a peer (or our side) could not run; a slow ratio is no failure."""
import json
import sys

COLUMNS = ("work", "ours ms", "ours threads", "peer", "peer ms", "peer threads", "ours bytes", "peer bytes",
           "size ratio", "ratio")


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


def cells(r):
    if "error" in r:
        return [r["work"], "-", "-", r["peer"], "cannot run: " + r["error"]] + ["-"] * 5
    return [r["work"], ms(r["ours_ms"]), num(r["ours_threads"]), r["peer"], ms(r["peer_ms"]),
            num(r["peer_threads"]), num(r["ours_bytes"]), num(r["peer_bytes"]),
            ratio(r["ours_bytes"], r["peer_bytes"]), ratio(r["ours_ms"], r["peer_ms"])]


def main(paths):
    rows, notes = [], []
    for path in paths:
        with open(path) as f:
            for line in f:
                line = line.strip()
                if not line.startswith("{"):
                    continue  # anything else a script printed
                r = json.loads(line)
                if "note" in r:
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
    print("threads: the most seen at work at once while each side ran, except OpenCV's (cv2.getNumThreads())")
    for n in notes:
        print(n)
    return 1 if any("error" in r for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
