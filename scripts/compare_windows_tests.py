#!/usr/bin/env python3
"""Compares the tests a Windows build runs with those of its Linux twin, so that a Windows
suite that silently runs nothing (or loses tests: a program Wine cannot load exits 0 having
listed none) fails the stage.

  scripts/compare_windows_tests.py LINUX_BUILD WINDOWS_BUILD

For every GoogleTest program of the Windows build, its twin of the same name in the Linux
build: every test of the twin whose test suite is defined in a source file the Windows
build compiles must be in the Windows program too. (Sources left out of the Windows build,
such as the tests of the POSIX file replacement, are read from the build's
compile_commands.json.) Prints one line per program; exits 1 on any test missing, or when
a Windows program lists none.

A Windows program without a twin is an error too (a Linux suite renamed, say, would
otherwise pass unchecked), but for those that can have none: WINDOWS_ONLY names them.
"""
import json
import re
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

# Test programs that exist only on Windows, and why.
WINDOWS_ONLY = {
    # The Win32 windows: Linux has the Qt windows instead, tested by tests/gui (QtTest).
    "wingui_tests": "the Win32 windows have no Linux build",
}

SUITE = re.compile(r"^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\(\s*(\w+)", re.MULTILINE)


class ListingFailed(Exception):
    pass


def tests_by_program(build):
    run = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"], capture_output=True, text=True)
    if run.returncode != 0:
        raise ListingFailed(f"ctest could not list the tests of {build}:\n{run.stderr.strip()}")
    listing = run.stdout
    programs = defaultdict(set)
    bin_folder = (build / "bin").resolve()
    for test in json.loads(listing)["tests"]:
        command = test.get("command") or []
        program = next((Path(part).stem for part in command if Path(part).parent.resolve() == bin_folder), None)
        if program and "." in test["name"]:
            programs[program].add(test["name"])
    return programs


def suites_built(build):
    """The test suites defined in the sources that `build` compiles."""
    suites = set()
    for entry in json.loads((build / "compile_commands.json").read_text()):
        source = Path(entry["file"])
        if "tests" in source.parts and source.suffix == ".cpp":
            suites.update(SUITE.findall(source.read_text(errors="replace")))
    return suites


def suite_of(name):
    """"Prefix/Suite.Test/Param" and "Suite.Test<Type>" both belong to Suite."""
    return name.split(".", 1)[0].split("/")[-1]


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    linux_build, windows_build = (Path(build) for build in sys.argv[1:])
    try:
        linux, windows = tests_by_program(linux_build), tests_by_program(windows_build)
    except ListingFailed as failure:
        print(failure)
        return 1
    built = suites_built(windows_build)
    # A program that listed nothing has no test in the listing at all: the programs built
    # count, not only those that answered.
    programs = set(windows) | {exe.stem for exe in (windows_build / "bin").glob("*.exe") if exe.stem in linux}
    problems = 0
    for program in sorted(programs):
        ran = windows[program]
        twin = linux.get(program, set())
        expected = {name for name in twin if suite_of(name) in built}
        missing = sorted(expected - ran)
        print(f"{program}: {len(ran)} tests on Windows; {len(twin)} on Linux, "
              f"{len(twin) - len(expected)} of them in sources not built for Windows")
        if not ran:
            print(f"  {program} lists no test on Windows")
            problems += 1
        if program not in linux:
            if program in WINDOWS_ONLY:
                print(f"  no Linux twin, as expected: {WINDOWS_ONLY[program]}")
            else:
                print(f"  {program} has no Linux twin (add it to WINDOWS_ONLY if it can have none)")
                problems += 1
        for name in missing:
            print(f"  missing on Windows: {name}")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
