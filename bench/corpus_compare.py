#!/usr/bin/env python3
"""Korvax on the bench lab's corpus, beside the peers measured in the same session.

Times, for each signature set N (warm page cache, one untimed run, the median of REPS):
  kvdtool scan DB FILE...           the engine on one thread (the fast pass)
  kvdtool scan --reference ...      the literal interpreter (only for the N in --reference-ns)
  korvax-scan --db DB CORPUS        the whole check, default pool (all processors)
  korvax-scan --paced ...           the desktop's scheduler
  plan_bench DB                     loading the database and compiling its plan
checks that every run reports exactly the planted hits, then prints one table with the
peers' figures from the lab's runs.jsonl (yara -C with the u32 rules on 1 and 2 threads,
clamscan with its parsers off), all as wall seconds of the whole command.

  corpus_compare.py --bin BUILD_BIN --bench-bin BENCH_BIN [--ns 10,1000,...] [--reps 3]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

BENCH = os.environ.get("BENCH", "/tmp/benchlab")
CORPUS = os.path.join(BENCH, "corpus")
SIGS = os.path.join(BENCH, "sigs")
RESULTS = os.path.join(BENCH, "results")


def expected_hits():
    hits = set()
    with open(os.path.join(SIGS, "expected.tsv")) as fh:
        next(fh)
        for line in fh:
            path, sig = line.rstrip("\n").split("\t")[:2]
            hits.add((path, sig))
    return hits


def corpus_files():
    files = []
    for root, _, names in os.walk(CORPUS):
        files.extend(os.path.join(root, name) for name in names)
    return sorted(files)


def row_hits(output):
    """(path relative to the corpus, virus name) of every result row."""
    hits = set()
    for line in output.splitlines():
        fields = line.split("\t")
        if len(fields) == 3 and fields[0].startswith(CORPUS + "/"):
            hits.add((os.path.relpath(fields[0], CORPUS), fields[1]))
    return hits


def timed(argv, reps, expected):
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # warm, untimed
    walls, peak, verdict = [], 0, "ok"
    for _ in range(reps):
        start = time.monotonic()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", "/tmp/korvax-bench.time"] + argv,
                              capture_output=True, text=True, errors="replace")
        walls.append(time.monotonic() - start)
        with open("/tmp/korvax-bench.time") as fh:
            peak = max(peak, int(fh.read().split()[-1]))
        if row_hits(done.stdout) != expected:
            verdict = "WRONG HITS"
    return statistics.median(walls), peak, verdict


def peer_medians():
    """{(case, n): median wall} of the lab's scan runs."""
    runs = {}
    path = os.path.join(RESULTS, "runs.jsonl")
    if os.path.exists(path):
        with open(path) as fh:
            for line in fh:
                rec = json.loads(line)
                if rec["phase"] == "scan":
                    runs.setdefault((rec["case"], rec["n"]), []).append(rec["wall"])
    return {key: statistics.median(walls) for key, walls in runs.items()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="folder with kvdtool and korvax-scan")
    ap.add_argument("--bench-bin", required=True, help="folder with plan_bench")
    ap.add_argument("--ns", default="10,1000,10000,100000")
    ap.add_argument("--reference-ns", default="10,1000")
    ap.add_argument("--reps", type=int, default=3)
    a = ap.parse_args()
    expected = expected_hits()
    files = corpus_files()
    kvdtool = os.path.join(a.bin, "kvdtool")
    scanner = os.path.join(a.bin, "korvax-scan")
    ours = {}
    for n in [int(x) for x in a.ns.split(",")]:
        db = os.path.join(SIGS, f"n{n}", "korvax.kvd")
        cases = [("kvdtool", [kvdtool, "scan", db] + files)]
        if str(n) in a.reference_ns.split(","):
            cases.append(("reference", [kvdtool, "scan", "--reference", db] + files))
        cases.append(("pool", [scanner, "--db", db, CORPUS]))
        cases.append(("paced", [scanner, "--paced", "--db", db, CORPUS]))
        for case, argv in cases:
            wall, peak, verdict = timed(argv, a.reps, expected)
            ours[(case, n)] = (wall, peak, verdict)
            print(f"[{time.strftime('%H:%M:%S')}] {case} n={n}: {wall:.2f} s, peak {peak} KiB, {verdict}",
                  file=sys.stderr, flush=True)
        load = subprocess.run([os.path.join(a.bench_bin, "plan_bench"), db], capture_output=True, text=True).stdout
        ours[("load", n)] = load.strip()

    peers = peer_medians()
    cat = peers.get(("cat", 0))

    def cell(value):
        return f"{value:.2f}" if isinstance(value, float) else "-"

    print(f"\nCorpus: {len(files)} files, {sum(os.path.getsize(f) for f in files) / 1e6:.0f} MB, page cache warm; "
          f"wall seconds, median of {a.reps}" + (f"; reading the files (cat): {cat:.2f} s" if cat else ""))
    print("\n| N | kvdtool scan (1 thread) | --reference | yara -C u32, 1 thread | yara -C u32, -p 2 | clamscan | "
          "korvax-scan (2 cores) | korvax-scan --paced | hits |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for n in [int(x) for x in a.ns.split(",")]:
        verdicts = {ours[(c, n)][2] for c in ("kvdtool", "reference", "pool", "paced") if (c, n) in ours}
        print(f"| {n:,} | {cell(ours[('kvdtool', n)][0])} | {cell(ours.get(('reference', n), (None,))[0])} | "
              f"{cell(peers.get(('yarau32c-p1', n)))} | {cell(peers.get(('yarau32c-p2', n)))} | "
              f"{cell(peers.get(('clamraw', n)))} | {cell(ours[('pool', n)][0])} | {cell(ours[('paced', n)][0])} | "
              f"{', '.join(sorted(verdicts))} |")
    print("\nRatios (peer / Korvax):")
    for n in [int(x) for x in a.ns.split(",")]:
        k = ours[("kvdtool", n)][0]
        pool = ours[("pool", n)][0]
        y1, y2 = peers.get(("yarau32c-p1", n)), peers.get(("yarau32c-p2", n))
        parts = []
        if y1:
            parts.append(f"yara -C 1 thread / kvdtool scan = {y1 / k:.1f}x")
        if y2:
            parts.append(f"yara -C -p 2 / korvax-scan = {y2 / pool:.1f}x")
        print(f"  N={n:,}: " + "; ".join(parts))
    print("\nDatabase load with the plan, and peak memory of kvdtool scan:")
    for n in [int(x) for x in a.ns.split(",")]:
        print(f"  N={n:,}: {ours[('load', n)]}; kvdtool scan peak {ours[('kvdtool', n)][1]} KiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
