#!/usr/bin/env bash
# A whole korvax-scan check over a hostile tree of 100,000 entries: mostly small programs,
# with 1 % carrying the default database's demo marks (cured on every run, and put back
# before the next), 40 programs of 4-5 MB, and among them FIFOs, sockets and (as root)
# device nodes named like programs, symbolic-link loops, folders and files of mode 000,
# paths at and one byte past the 1,024-byte limit, 255-byte names, files the scanner
# passes over. Runs the default pool and --paced once each and prints the wall time, the
# files collected and checked, the read errors and the peak resident memory (GNU time).
# With the default pool at most --jobs file images are in memory at once, and at most
# 4,096 collected names wait; --paced collects the whole tree first.
#
#   bench/hostile_tree.sh [WORKDIR]     (default: build/bench-trees/hostile)
#
# KORVAX_BENCH_ENTRIES=N makes a tree of N entries instead (at least 5,000 or so).
#
# Builds korvax-scan with the default preset, unless KORVAX_BIN names a folder that holds
# korvax-scan, libcpudll.so and virbase.kvd already. Run as root, the folders of mode 000
# are read like any other (root is not kept out), so their programs count as checked.
# --paced grows its pool only below 60 % load: on a busy machine it runs on fewer workers.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z ${KORVAX_BIN:-} ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target korvax-scan cpudll default_database >/dev/null
  KORVAX_BIN=$PWD/build/default/bin
fi
bin=$(cd "$KORVAX_BIN" && pwd)
work=${1:-$PWD/build/bench-trees/hostile}
mkdir -p "$work"
work=$(cd "$work" && pwd)
if [[ ! -x /usr/bin/time ]]; then
  echo "GNU time is missing; installing the package 'time'" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null
fi

# Makes the tree once (kept between runs), and before every run puts the demo marks back
# on the programs the previous run cured.
tree() {  # make|reinfect
  python3 - "$1" "$work/tree" <<'PY'
import os, random, socket, stat, sys

mode, root = sys.argv[1], sys.argv[2]
ENTRIES = int(os.environ.get("KORVAX_BENCH_ENTRIES", "100000"))
EICAR = rb"X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"

# Bytes below 64, so without ASCII letters: no demo mark turns up by chance.
POOL = bytes(random.Random(64).randrange(64) for _ in range(1 << 20))
def program(rng, size):
    start = rng.randrange(len(POOL) - size)
    return b"MZ" + POOL[start:start + size - 2]

def infected(rng, n):
    clean = program(rng, 512 + n % 1500)
    kind = n % 5
    if kind == 0: return b"KVXA" + clean[4:] + b"KVXBODY!" + clean[:4] + b"\0\0\0\0"
    if kind == 1: return b"KVXPRE-B" + b"\x90" * 8 + clean
    if kind == 2: return b"kvxpRE-B" + b"\x90" * 8 + clean
    if kind == 3: return clean + b"KVXDROP!"
    return EICAR

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)

INFECTED = 1000
def infect():
    rng = random.Random(7)
    for n in range(INFECTED):
        write(os.path.join(root, "inf", "i%02d" % (n % 20), "v%04d.exe" % n), infected(rng, n))

marker = os.path.join(root, ".complete")
if mode == "reinfect" or os.path.exists(marker):
    infect()
    sys.exit(0)
if os.path.isdir(root):
    for top, dirs, _ in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(top, d), 0o755)
    import shutil
    shutil.rmtree(root)

rng = random.Random(100_000)
entries = 0   # everything the walk meets: files, folders, links and the rest
def count(n=1):
    global entries
    entries += n

infect(); count(INFECTED + 20 + 1)
for n in range(40):   # large programs, sparse: their images are what the pool bounds
    path = os.path.join(root, "large", "big%02d.exe" % n)
    write(path, b"MZ")
    os.truncate(path, 4_000_000 + n * 30_000)
count(41)
for n in range(10):   # at the limit: passed over
    path = os.path.join(root, "large", "limit%02d.exe" % n)
    write(path, b"")
    os.truncate(path, 5_242_880)
count(10)

special = os.path.join(root, "special")
os.makedirs(special); count()
for n in range(300):
    os.mkfifo(os.path.join(special, "pipe%03d.exe" % n)); count()
cwd = os.getcwd(); os.chdir(special)   # short socket names, whatever WORKDIR is
for n in range(100):
    s = socket.socket(socket.AF_UNIX); s.bind("sock%03d.com" % n); s.close(); count()
os.chdir(cwd)
try:
    for n in range(100):
        os.mknod(os.path.join(special, "dev%03d.exe" % n), stat.S_IFCHR | 0o666, os.makedev(1, 5)); count()
except PermissionError:
    print("device nodes cannot be made here: the tree has none", file=sys.stderr)

links = os.path.join(root, "links")
os.makedirs(links); count()
for n in range(75):
    sub = os.path.join(links, "l%02d" % n)
    os.makedirs(sub); count()
    os.symlink(".", os.path.join(sub, "self"))             # its own folder
    os.symlink("b.exe", os.path.join(sub, "a.exe"))        # a -> b -> a
    os.symlink("a.exe", os.path.join(sub, "b.exe"))
    os.symlink("../..", os.path.join(sub, "up"))           # back to the top
    count(4)

locked = os.path.join(root, "locked")
for n in range(50):
    folder = os.path.join(locked, "closed%02d" % n)
    for m in range(9):
        write(os.path.join(folder, "p%d.exe" % m), program(rng, 1024))
    os.chmod(folder, 0); count(10)
    path = os.path.join(locked, "unreadable%02d.com" % n)
    write(path, program(rng, 1024)); os.chmod(path, 0); count()
count()

long_top = os.path.join(root, "long") + "/"
for n in range(50):
    write(long_top + ("%02d" % n) + "N" * 249 + ".exe", program(rng, 1024)); count()   # 255-byte names
folder = long_top
while 1024 - len(folder.encode()) > 255:
    left = 1024 - len(folder.encode())
    folder += "L" * min(255, left - 11) + "/"; count()
left = 1024 - len(folder.encode())
for n in range(50):   # exactly 1024 bytes, then one past the limit
    write(folder + ("%02d" % n) + "n" * (left - 6) + ".exe", program(rng, 1024))
    write(folder + ("%02d" % n) + "n" * (left - 5) + ".exe", program(rng, 1024))
    count(2)
count()

other = os.path.join(root, "other")
for n in range(500):
    write(os.path.join(other, "o%03d" % (n % 10), "n%03d%s" % (n, (".txt", ".exe.bak", ".dll", "", ".exe_")[n % 5])), b"KVXDROP!")
count(511)

count(1 + 200 + 200 * 5)   # progs/dNNN/eN
small = ENTRIES - entries
for n in range(small):
    write(os.path.join(root, "progs", "d%03d" % (n % 200), "e%d" % (n // 200 % 5),
                       "p%06d%s" % (n, (".exe", ".com", ".EXE", ".Com")[n % 4])),
          program(rng, rng.randint(1024, 4096)))
count(small)
with open(marker, "w") as out:
    out.write("%d entries\n" % entries)
print("made %d entries under %s" % (entries, root), file=sys.stderr)
PY
}

measure() {  # label [korvax-scan options...]
  local label=$1 log=$work/time.log summary
  shift
  tree reinfect
  summary=$(/usr/bin/time -v -o "$log" "$bin/korvax-scan" --json --db "$bin/virbase.kvd" "$@" "$work/tree" \
              2>/dev/null | tail -n 1) || true
  python3 - "$label" "$summary" "$log" <<'PY'
import json, re, sys
label, summary, log = sys.argv[1], json.loads(sys.argv[2]), open(sys.argv[3]).read()
rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", log).group(1))
wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", log).group(1)
print("%-22s wall %6.2f s (%s)  collected %6d  checked %6d  read errors %4d  cured %4d  "
      "viruses %4d  peak RSS %7.1f MiB" % (label, summary["wall_seconds"], wall, summary["total"],
      summary["checked"], summary["read_errors"], summary["cured"], summary["viruses"], rss / 1024))
PY
}

tree make
jobs=$(nproc)
measure "default pool (--jobs $jobs)"
measure "--paced" --paced
