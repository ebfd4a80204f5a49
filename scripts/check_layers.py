#!/usr/bin/env python3
"""Checks that every #include follows the layers: a file may include headers of its own
layer and of the layers below it, never of a layer above or beside it.

The build enforces the same rule (each layer's headers are reachable only by the targets
that link it); this check also covers what the build cannot see: relative includes that
climb out of a folder, the toolkit included outside the desktop layer, and the libraries
each layer's CMakeLists.txt links.

  scripts/check_layers.py              check the tree; exit status 1 on any violation
  scripts/check_layers.py --self-test  show that a violation is caught
"""
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Each layer: its folder, its library target, and the layers it builds on directly.
LAYERS = {
    "platform":   ("src/platform",   "korvax_platform",   []),
    "database":   ("src/database",   "korvax_database",   ["platform"]),
    "language":   ("src/language",   "korvax_language",   ["database"]),
    "engine":     ("src/engine",     "korvax_engine",     ["database"]),
    "collection": ("src/collection", "korvax_collection", ["platform"]),
    "worker":     ("src/worker",     "korvax_worker",     ["engine"]),
    "monitor":    ("src/monitor",    "korvax_monitor",    ["platform"]),
    "check":      ("src/check",      "korvax_check",      ["worker", "collection", "monitor"]),
    "backup":     ("src/backup",     "korvax_backup",     ["engine"]),
    "gui":        ("src/gui",        "korvax_gui",        ["check"]),
    "cli":        ("src/cli",        "korvax-scan",       ["check", "backup"]),
    "cpudll":     ("src/cpudll",     "cpudll",            []),
    "kvdtool":    ("tools/kvdtool",  "kvdtool_commands",  ["language", "engine"]),
}
# Tests of a layer may also use the test support, which writes databases from source.
TEST_EXTRA = ["language"]
TOOLKIT_LAYERS = {"gui"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def below(layer):
    """The layers `layer` may use: itself and everything it builds on, transitively."""
    seen, todo = set(), [layer]
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(LAYERS[name][2])
    return seen


def check_file(path, layer, allowed, text):
    problems = []
    for number, line in enumerate(text.splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        kind, name = match.groups()
        where = f"{path}:{number}"
        if kind == '"' and name.startswith("../"):
            problems.append(f"{where}: relative include climbs out of its folder: {name}")
            continue
        if kind == "<" and re.match(r"Q[A-Za-z]", name) and not (allowed & TOOLKIT_LAYERS):
            problems.append(f"{where}: the toolkit ({name}) is included outside the desktop layer")
            continue
        top = name.split("/", 1)[0]
        if kind == '"' and "/" in name and top in LAYERS and top not in allowed:
            problems.append(f"{where}: layer '{layer}' includes {name} from layer '{top}', "
                            f"which it does not build on (allowed: {', '.join(sorted(allowed))})")
    return problems


def check_links(layer):
    folder, target, _ = LAYERS[layer]
    cmake = ROOT / folder / "CMakeLists.txt"
    if not cmake.exists():
        return []
    targets = {t: name for name, (_, t, _) in LAYERS.items()}
    problems = []
    text = cmake.read_text()
    for call in re.finditer(r"target_link_libraries\(\s*(\S+)([^)]*)\)", text):
        if call.group(1) != target:
            continue
        for token in call.group(2).split():
            if token in targets and targets[token] not in LAYERS[layer][2]:
                problems.append(f"{cmake.relative_to(ROOT)}: {target} links {token}, "
                                f"but layer '{layer}' does not build on '{targets[token]}'")
    for name in LAYERS[layer][2]:
        if LAYERS[name][1] not in text:
            problems.append(f"{cmake.relative_to(ROOT)}: {target} does not link {LAYERS[name][1]}, "
                            f"though the layer table says it builds on '{name}'")
    return problems


def sources(folder):
    return sorted(p for p in (ROOT / folder).rglob("*") if p.suffix in (".h", ".cpp"))


def check_tree():
    problems = []
    for layer, (folder, _, _) in LAYERS.items():
        allowed = below(layer)
        for path in sources(folder):
            problems += check_file(path.relative_to(ROOT), layer, allowed, path.read_text(errors="replace"))
        problems += check_links(layer)
        tests = ROOT / "tests" / layer
        if tests.is_dir():
            test_allowed = allowed | set().union(*(below(extra) for extra in TEST_EXTRA))
            for path in sources(tests.relative_to(ROOT)):
                problems += check_file(path.relative_to(ROOT), f"{layer} tests", test_allowed,
                                       path.read_text(errors="replace"))
    return problems


def self_test():
    upward = '#include "engine/file_image.h"\n#include "check/program_state.h"\n'
    found = check_file(Path("src/engine/example.cpp"), "engine", below("engine"), upward)
    assert len(found) == 1 and "check/program_state.h" in found[0], found
    toolkit = check_file(Path("src/check/x.cpp"), "check", below("check"), "#include <QWidget>\n")
    assert len(toolkit) == 1, toolkit
    climbing = check_file(Path("src/engine/x.cpp"), "engine", below("engine"), '#include "../gui/x.h"\n')
    assert len(climbing) == 1, climbing
    print("\n".join(found + toolkit + climbing))
    print("self-test: the violations above were caught")


def main():
    if "--self-test" in sys.argv:
        self_test()
        return 0
    problems = check_tree()
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layer violation(s)", file=sys.stderr)
        return 1
    print("includes and links follow the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
