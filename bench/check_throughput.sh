#!/usr/bin/env bash
# Throughput of a whole korvax-scan check (collection, scheduler, workers, refresh) on two
# generated trees: 20,000 small programs of 1-16 KiB, and 500 programs of 1-5 MB, with the
# default pool and with --paced (the desktop's scheduler). Prints, for the median of three
# runs, files/s, MB/s, wall time, the CPU time of the main thread, process CPU time and
# peak memory, and what reading the files alone costs. Run it on an otherwise idle
# machine: --paced only grows its pool below 60 % load.
#
#   bench/check_throughput.sh [WORKDIR]     (default: build/bench-trees)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target korvax-scan cpudll default_database >/dev/null
bin=$PWD/build/default/bin
work=${1:-$PWD/build/bench-trees}
mkdir -p "$work"

make_tree() {  # folder count min_bytes max_bytes
  python3 - "$@" <<'PY'
import os, random, sys
folder, count, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
if os.path.isdir(folder) and sum(len(f) for _, _, f in os.walk(folder)) == count:
    sys.exit(0)
random.seed(count)
for i in range(count):
    sub = os.path.join(folder, "d%02d" % (i % 50), "e%d" % (i % 7))
    os.makedirs(sub, exist_ok=True)
    size = random.randint(low, high)
    with open(os.path.join(sub, "p%05d.exe" % i), "wb") as out:
        out.write(b"MZ" + os.urandom(size - 2))
PY
}

measure() {  # label folder [korvax-scan options...]
  local label=$1 folder=$2 bytes files out wall
  shift 2
  files=$(find "$folder" -type f | wc -l)
  bytes=$(find "$folder" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
  out=$(for run in 1 2 3; do
          "$bin/korvax-scan" --stats --db "$bin/virbase.kvd" "$@" "$folder" 2>&1 >/dev/null | tail -n 1
        done | sort -t' ' -k2 -n | sed -n 2p)  # the median wall time of three
  wall=$(sed -E 's/^wall ([0-9.]+) s.*/\1/' <<<"$out")
  awk -v l="$label" -v f="$files" -v b="$bytes" -v w="$wall" -v s="$out" \
    'BEGIN { printf "%-34s %6d files %8.1f MB  %8.1f files/s %8.1f MB/s   %s\n", l, f, b/1e6, f/w, b/1e6/w, s }'
}

reading() {  # label folder: the files read once from the page cache, for comparison
  local start end files
  files=$(find "$2" -type f | wc -l)
  start=$(date +%s.%N)
  find "$2" -type f -print0 | xargs -0 cat >/dev/null
  end=$(date +%s.%N)
  awk -v l="$1" -v f="$files" -v s="$start" -v e="$end" \
    'BEGIN { printf "%-34s %6d files %8.1f files/s (cat, one process per 5,000 files or so)\n", l, f, f/(e-s) }'
}

make_tree "$work/small" 20000 1024 16384
make_tree "$work/large" 500 1048576 5242879
# Warm the page cache so that the disk does not decide the result.
find "$work" -type f -print0 | xargs -0 cat >/dev/null
reading "20,000 x 1-16 KiB, reading only" "$work/small"
measure "20,000 x 1-16 KiB, default pool" "$work/small"
measure "20,000 x 1-16 KiB, --paced" "$work/small" --paced
measure "500 x 1-5 MiB, default pool" "$work/large"
measure "500 x 1-5 MiB, --paced" "$work/large" --paced
