#!/usr/bin/env python3
"""The engine on Windows beside Linux (see windows_corpus.sh): kvdtool scan over the whole
corpus, and plan_bench's fast pass over the corpus held in memory, for the Linux build and
the two Windows builds under Wine. Prints one table; the fastest of REPS runs each.

Windows takes at most 32,767 characters of command line, so kvdtool scan is given the
corpus in batches, the same batches on every build; the time is that of all batches, one
process each, and the table says what one process start costs under Wine.
"""
import argparse
import os
import re
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILDS = [
    ("Linux x86_64", None, ROOT / "build/bench/bin", ""),
    ("Windows x86_64 (Wine)", "x86_64", ROOT / "build/windows-x64-bench/bin", ".exe"),
    ("Windows i686 (Wine)", "i686", ROOT / "build/windows-x86-bench/bin", ".exe"),
]


def command(build, program, args, bench):
    _, arch, folder, suffix = build
    path = str(folder / (program + suffix))
    if arch is None:
        return [path] + args, None
    env = dict(os.environ, KORVAX_WINE_DATA=bench)
    return [str(ROOT / "scripts/wine-run.sh"), arch, str(folder.parent), path] + args, env


def shown(build, path, bench):
    """A path under BENCH as the build's program takes it (D: maps BENCH under Wine)."""
    if build[1] is None:
        return path
    return "D:\\" + os.path.relpath(path, bench).replace("/", "\\")


def timed(argv, env):
    started = time.perf_counter()
    run = subprocess.run(argv, capture_output=True, text=True, env=env)
    return time.perf_counter() - started, run


def batches(files, limit=30000):
    batch, length = [], 0
    for f in files:
        if batch and length + len(f) + 3 > limit:
            yield batch
            batch, length = [], 0
        batch.append(f)
        length += len(f) + 3
    if batch:
        yield batch


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ns", default="10,1000,10000,100000")
    ap.add_argument("--reps", type=int, default=3)
    a = ap.parse_args()
    bench = os.environ.get("BENCH", "/tmp/benchlab")
    corpus = sorted(str(p) for p in Path(bench, "corpus").rglob("*") if p.is_file())
    results = Path(bench, "results")
    results.mkdir(exist_ok=True)
    total = sum(os.path.getsize(f) for f in corpus)
    print(f"corpus: {len(corpus)} files, {total / 1e6:.0f} MB ({bench}/corpus)")

    startup = {}
    for build in BUILDS[1:]:
        argv, env = command(build, "kvdtool", ["--version"], bench)
        startup[build[0]] = min(timed(argv, env)[0] for _ in range(5))

    rows = []
    for n in a.ns.split(","):
        db = f"{bench}/sigs/n{n}/korvax.kvd"
        for build in BUILDS:
            names = [shown(build, f, bench) for f in corpus]
            # kvdtool scan: the whole check of each file, one thread, one process per batch.
            best, hits = None, 0
            for _ in range(a.reps):
                spent, found = 0.0, 0
                for batch in batches(names):
                    argv, env = command(build, "kvdtool", ["scan", "--no-backup", shown(build, db, bench)] + batch, bench)
                    seconds, run = timed(argv, env)
                    if run.returncode not in (0, 1):
                        sys.exit(f"{build[0]}: kvdtool scan failed ({run.returncode}): {run.stderr[-400:]}")
                    spent += seconds
                    found += sum(1 for line in run.stdout.splitlines() if "\t" in line)
                best = spent if best is None else min(best, spent)
                hits = found
            # plan_bench: the engine alone, every file already in memory.
            listing = results / f"plan-list-{'linux' if build[1] is None else 'windows'}.txt"
            listing.write_text("".join(f"{name}\n" for name in names), encoding="utf-8")
            argv, env = command(build, "plan_bench", [shown(build, db, bench), shown(build, str(listing), bench)], bench)
            _, run = timed(argv, env)
            sweep = re.search(r"sweep of \d+ searched patterns ([0-9.]+) s", run.stdout)
            fast = re.search(r"fast pass ([0-9.]+) s \((\d+) detections\)", run.stdout)
            made = re.search(r"fast pass over images already made ([0-9.]+) s", run.stdout)
            load = re.search(r"together ([0-9.]+) s", run.stdout)
            if not sweep or not fast or not made or not load:
                sys.exit(f"{build[0]}: plan_bench said: {run.stdout} {run.stderr[-400:]}")
            rows.append((int(n), build[0], best, hits, float(sweep.group(1)), float(made.group(1)),
                         float(fast.group(1)), int(fast.group(2)), float(load.group(1))))
            print(f"N={int(n):,} {build[0]}: kvdtool scan {best:.2f} s ({hits} hits), sweep {float(sweep.group(1)):.3f} s, "
                  f"fast pass over images made {float(made.group(1)):.3f} s, with each image made "
                  f"{float(fast.group(1)):.3f} s, load and plan {float(load.group(1)):.3f} s", flush=True)

    print("\n| N | build | kvdtool scan, whole corpus | hits | engine: sweep | engine: fast pass, images made "
          "| vs Linux | fast pass, each image made afresh | vs Linux | load + plan |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    linux = {n: (made, fast) for n, name, _, _, _, made, fast, _, _ in rows if name == BUILDS[0][0]}
    for n, name, scan, hits, sweep, made, fast, detections, load in rows:
        print(f"| {n:,} | {name} | {scan:.2f} s | {hits} | {sweep:.3f} s | {made:.3f} s | {made / linux[n][0]:.2f}x | "
              f"{fast:.3f} s ({detections} detections) | {fast / linux[n][1]:.2f}x | {load:.3f} s |")
    for name, seconds in startup.items():
        print(f"\nOne process start of kvdtool.exe under Wine ({name}): {seconds:.3f} s; kvdtool scan ran "
              f"{len(list(batches([shown(BUILDS[1], f, bench) for f in corpus])))} processes per pass.", end="")
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
