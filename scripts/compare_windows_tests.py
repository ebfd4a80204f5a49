#!/usr/bin/env python3
"""Compares the tests a Windows build runs with those of its Linux twin, so that a Windows
suite that silently runs nothing (or loses tests: a program Wine cannot load exits 0 having
listed none) fails the stage.

  scripts/compare_windows_tests.py LINUX_BUILD WINDOWS_BUILD

For every GoogleTest program of the Windows build, its twin of the same name in the Linux
build: every test the twin has must be in the Windows program too, but for the test suites
that test the Linux implementation only (below). Prints one line per program and exits 1
on any test missing, or when a Windows program lists none.
"""
import json
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

# Suites that test what only the POSIX implementation has (links, modes, extended
# attributes of the file replacement) or that need it (the per-file check on disk); their
# Win32 counterparts come with the file replacement's Win32 side.
LINUX_ONLY = {
    "platform_tests": {"CreateFileWhole", "FileRead", "Replacement"},
    "engine_tests": {"FileCheck"},
}


def tests_by_program(build):
    listing = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                             check=True, capture_output=True, text=True).stdout
    programs = defaultdict(set)
    bin_folder = (build / "bin").resolve()
    for test in json.loads(listing)["tests"]:
        command = test.get("command") or []
        program = next((Path(part).stem for part in command if Path(part).parent.resolve() == bin_folder), None)
        if program and "." in test["name"]:
            programs[program].add(test["name"])
    return programs


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    linux, windows = (tests_by_program(Path(build)) for build in sys.argv[1:])
    problems = 0
    for program in sorted(windows):
        ran = windows[program]
        twin = linux.get(program, set())
        skipped = LINUX_ONLY.get(program, set())
        missing = sorted(name for name in twin - ran if name.split(".", 1)[0] not in skipped)
        print(f"{program}: {len(ran)} tests on Windows, {len(twin)} on Linux"
              + (f", {len(twin) - len(missing) - len(twin & ran)} of them Linux-only" if skipped else ""))
        if not ran:
            print(f"  {program} lists no test on Windows")
            problems += 1
        for name in missing:
            print(f"  missing on Windows: {name}")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
