#!/usr/bin/env python3
"""Seeds the fuzzers' corpora with real inputs, so that they start from databases that
parse and (database, file) pairs that match and cure, instead of from nothing.

Usage: make_seeds.py DATABASE SAMPLES_DIR CORPUS_ROOT
  CORPUS_ROOT/read_records_fuzz/   the database itself
  CORPUS_ROOT/scan_with_cures_fuzz/ each sample with the database (2-byte length first)
"""
import os
import struct
import sys


def main() -> int:
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    database, samples, root = sys.argv[1:]
    with open(database, "rb") as f:
        db = f.read()
    os.makedirs(os.path.join(root, "read_records_fuzz"), exist_ok=True)
    os.makedirs(os.path.join(root, "scan_with_cures_fuzz"), exist_ok=True)
    with open(os.path.join(root, "read_records_fuzz", "seed-default-database"), "wb") as out:
        out.write(db)
    db = db[:0xFFFF]
    for folder, _, names in os.walk(samples):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                sample = f.read()
            seed = struct.pack("<H", len(db)) + db + sample
            with open(os.path.join(root, "scan_with_cures_fuzz", "seed-" + name), "wb") as out:
                out.write(seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
