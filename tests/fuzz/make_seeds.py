#!/usr/bin/env python3
"""Seeds the fuzzers' corpora with real inputs, so that they start from databases that
parse, (database, file) pairs that match and cure, and source that assembles, instead of
from nothing.

Usage: make_seeds.py DATABASE SAMPLES_DIR CORPUS_ROOT [SOURCE...]
  CORPUS_ROOT/read_records_fuzz/          the database itself
  CORPUS_ROOT/scan_with_cures_fuzz/       each sample with the database (2-byte length first)
  CORPUS_ROOT/disassemble_roundtrip_fuzz/ the database, and each of its entries alone
  CORPUS_ROOT/assemble_source_fuzz/       signature source taken from each SOURCE: a .kvsrc
                                          file whole and by paragraphs, the code blocks of a
                                          .md file, the raw string literals of a .cpp file
                                          that hold source lines
"""
import os
import re
import struct
import sys

KEYWORDS = re.compile(r"^\s*(entry|match|search|group|any|var|copy|size|raw|bytes)\b", re.M)
RECORD_HEADER = 12  # type, seven unread bytes, 32-bit length


def write(root, target, name, data):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def entries(db):
    """The database cut at each head record (type 0xFF), as far as the lengths hold."""
    starts, at = [], 0
    while at + RECORD_HEADER <= len(db):
        if db[at] == 0xFF:
            starts.append(at)
        (length,) = struct.unpack_from("<i", db, at + 8)
        if length < 0:
            break
        at += RECORD_HEADER + length
    return [db[a:b] for a, b in zip(starts, starts[1:] + [len(db)])]


def sources(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if path.endswith(".kvsrc"):
        return [text] + [p for p in re.split(r"\n\s*\n", text) if KEYWORDS.search(p)]
    if path.endswith(".md"):
        blocks = re.findall(r"^```[^\n]*\n(.*?)^```", text, re.S | re.M)
    else:
        blocks = re.findall(r'R"\((.*?)\)"', text, re.S)
    return [b for b in blocks if KEYWORDS.search(b)]


def main() -> int:
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    database, samples, root = sys.argv[1:4]
    with open(database, "rb") as f:
        db = f.read()
    write(root, "read_records_fuzz", "seed-default-database", db)
    write(root, "disassemble_roundtrip_fuzz", "seed-default-database", db)
    for i, entry in enumerate(entries(db)):
        write(root, "disassemble_roundtrip_fuzz", f"seed-entry-{i}", entry)
    short = db[:0xFFFF]
    for folder, _, names in os.walk(samples):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                sample = f.read()
            write(root, "scan_with_cures_fuzz", "seed-" + name, struct.pack("<H", len(short)) + short + sample)
    os.makedirs(os.path.join(root, "assemble_source_fuzz"), exist_ok=True)
    for path in sys.argv[4:]:
        base = os.path.basename(path)
        for i, text in enumerate(sources(path)):
            write(root, "assemble_source_fuzz", f"seed-{base}-{i}", text.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
