#!/usr/bin/env python3
"""Checks that every #include follows the layers: a file may include headers of its own
layer and of the layers below it, never of a layer above or beside it.

The build enforces the same rule (each layer's headers are reachable only by the targets
that link it); this check also covers what the build cannot see: relative includes that
climb out of a folder, the toolkit included outside the desktop layer, and the libraries
each layer's CMakeLists.txt links.

The operating system is the platform layer's business: the Win32 headers (<windows.h> and
its kin) belong to platform, the plug-in cpudll and the Win32 front end wingui only, the
way Qt belongs to gui; and no other layer, nor its tests, branches on
Windows in any spelling (_WIN32, __MINGW32__, _MSC_VER, ..., or if(WIN32) and its kin in a
layer's CMakeLists.txt). Where such a branch seems needed, the platform interface lacks
something.

The table of layers below (LAYERS) is the one source of what builds on what. The README's
"Layout" section shows it twice, as a table and as a diagram: the table must say exactly
what LAYERS says (every layer, what it builds on, its library), and the diagram must name
every layer once; either is checked here, so a copy that drifts fails the check.

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
    "desktop":    ("src/desktop",    "korvax_desktop",    ["check", "backup"]),
    "gui":        ("src/gui",        "korvax_gui",        ["desktop"]),
    "wingui":     ("src/wingui",     "korvax_wingui",     ["desktop"]),
    "cli":        ("src/cli",        "korvax-scan",       ["check", "backup"]),
    "cpudll":     ("src/cpudll",     "cpudll",            []),
    "kvdtool":    ("tools/kvdtool",  "kvdtool_commands",  ["language", "engine", "backup"]),
}
# Tests of a layer may also use the test support, which writes databases from source.
TEST_EXTRA = ["language"]
TOOLKIT_LAYERS = {"gui"}
# The layers that may talk to Windows directly: the OS layer, the load library, and the
# desktop's Win32 front end, whose windows are the system's own.
WINDOWS_LAYERS = {"platform", "cpudll", "wingui"}

# The Win32 headers, and the C runtime headers that only Windows has.
WINDOWS_HEADER = re.compile(
    r"(windows|win[a-z0-9_]*|nt[a-z0-9_]*|[a-z0-9_]*api|ntstatus|shlobj|shlwapi|objbase|aclapi|sddl|accctrl|"
    r"bcrypt|tlhelp32|psapi|commctrl|commdlg|wincrypt|dbghelp|io|direct|process|conio|share|mmsystem)\.h",
    re.IGNORECASE)
# Every macro by which C++ code can ask whether it is built for Windows.
WINDOWS_MACRO = re.compile(r"\b(_WIN32|_WIN64|WIN32|WIN64|_WINDOWS|__WINDOWS__|__MINGW32__|__MINGW64__|"
                           r"__CYGWIN__|_MSC_VER|__WINNT__|__WINNT|WINNT)\b")
# ...and every way a CMakeLists.txt can: the WIN32, MINGW, MSVC and CYGWIN variables, the
# system's name, the platform generator expressions.
WINDOWS_CMAKE = re.compile(r"\b(WIN32|MINGW|MSVC|CYGWIN|CMAKE_HOST_WIN32|CMAKE_SYSTEM_NAME|CMAKE_HOST_SYSTEM_NAME|"
                           r"PLATFORM_ID|CMAKE_CXX_PLATFORM_ID|CMAKE_C_PLATFORM_ID)\b|\.exe\b|\.dll\b")

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
        if kind == "<" and WINDOWS_HEADER.fullmatch(name) and not talks_to_windows(layer):
            problems.append(f"{where}: the Win32 header {name} is included outside the platform layer")
            continue
        top = name.split("/", 1)[0]
        if kind == '"' and "/" in name and top in LAYERS and top not in allowed:
            problems.append(f"{where}: layer '{layer}' includes {name} from layer '{top}', "
                            f"which it does not build on (allowed: {', '.join(sorted(allowed))})")
    return problems


def code_lines(text):
    """The lines of a C++ source with its comments blanked (a comment may speak of Windows)."""
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.DOTALL)
    return [re.sub(r"//.*", "", line) for line in text.splitlines()]


def talks_to_windows(layer):
    """Whether `layer` (or "<layer> tests") is one of the layers that may talk to Windows."""
    return layer.split()[0] in WINDOWS_LAYERS


def check_windows_branches(path, layer, text):
    """A branch on Windows in C++ code outside the layers that talk to Windows."""
    if talks_to_windows(layer):
        return []
    return [f"{path}:{number}: a Windows-only branch ({match.group(1)}) outside the platform layer"
            for number, line in enumerate(code_lines(text), 1)
            for match in [WINDOWS_MACRO.search(line)] if match]


def check_cmake_branches(path, layer, text):
    """A branch on Windows in a layer's CMakeLists.txt outside the layers that talk to Windows."""
    if layer in WINDOWS_LAYERS:
        return []
    problems = []
    for number, line in enumerate(text.splitlines(), 1):
        code = line.split("#", 1)[0]
        match = WINDOWS_CMAKE.search(code)
        if match:
            problems.append(f"{path}:{number}: a Windows-only branch ({match.group(0)}) in the CMakeLists.txt of "
                            f"layer '{layer}': the platform layer chooses what each system builds")
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


def layout_section(readme):
    """The README's "Layout" section: up to the next section of the same level."""
    match = re.search(r"^## Layout\n(.*?)(?=^## )", readme, re.MULTILINE | re.DOTALL)
    return match.group(1) if match else ""


def check_readme_layout(readme, where="README.md"):
    """The README's table and diagram of the layers against LAYERS."""
    section = layout_section(readme)
    if not section:
        return [f"{where}: no \"## Layout\" section to show the layers"]
    problems = []
    rows = {}
    for number, line in enumerate(section.splitlines(), 1):
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) < 3 or not re.fullmatch(r"`[a-z0-9_-]+`", cells[0]):
            continue
        layer = cells[0].strip("`")
        builds_on = [name.strip() for name in cells[1].split(",") if name.strip()]
        libraries = re.findall(r"`([^`]+)`", cells[2])
        rows[layer] = (builds_on, libraries)
    for layer, (_, target, builds_on) in LAYERS.items():
        if layer not in rows:
            problems.append(f"{where}: the layer table has no row for '{layer}'")
            continue
        shown, libraries = rows[layer]
        if sorted(shown) != sorted(builds_on):
            problems.append(f"{where}: the layer table says '{layer}' builds on {', '.join(shown) or 'nothing'}; "
                            f"scripts/check_layers.py says {', '.join(builds_on) or 'nothing'}")
        if target not in libraries:
            problems.append(f"{where}: the layer table names the library of '{layer}' {', '.join(libraries)}; "
                            f"its target is {target}")
    for layer in rows:
        if layer not in LAYERS:
            problems.append(f"{where}: the layer table shows '{layer}', which scripts/check_layers.py does not know")
    diagrams = re.findall(r"^```\n(.*?)^```", section, re.MULTILINE | re.DOTALL)
    diagram = next((block for block in diagrams if "platform" in block and "|" in block and "/" in block), None)
    if diagram is None:
        problems.append(f"{where}: no diagram of the layers in the Layout section")
    else:
        for layer in LAYERS:
            count = len(re.findall(rf"(?<![a-z_]){re.escape(layer)}(?![a-z_])", diagram))
            if count != 1:
                problems.append(f"{where}: the diagram names '{layer}' {count} times (once is right)")
    return problems


def sources(folder):
    return sorted(p for p in (ROOT / folder).rglob("*") if p.suffix in (".h", ".cpp"))


def check_tree():
    problems = []
    for layer, (folder, _, _) in LAYERS.items():
        allowed = below(layer)
        for path in sources(folder):
            text = path.read_text(errors="replace")
            problems += check_file(path.relative_to(ROOT), layer, allowed, text)
            problems += check_windows_branches(path.relative_to(ROOT), layer, text)
        cmake = ROOT / folder / "CMakeLists.txt"
        if cmake.exists():
            problems += check_cmake_branches(cmake.relative_to(ROOT), layer, cmake.read_text())
        problems += check_links(layer)
        tests = ROOT / "tests" / layer
        if tests.is_dir():
            test_allowed = allowed | set().union(*(below(extra) for extra in TEST_EXTRA))
            for path in sources(tests.relative_to(ROOT)):
                text = path.read_text(errors="replace")
                problems += check_file(path.relative_to(ROOT), f"{layer} tests", test_allowed, text)
                problems += check_windows_branches(path.relative_to(ROOT), layer, text)
    return problems


def self_test():
    readme = (ROOT / "README.md").read_text()
    assert not check_readme_layout(readme), check_readme_layout(readme)
    drifted = readme.replace("| `cli` | check, backup |", "| `cli` | check |", 1)
    assert drifted != readme, "the README's cli row has moved"
    table = check_readme_layout(drifted)
    assert len(table) == 1 and "'cli' builds on check" in table[0], table
    missing = check_readme_layout(re.sub(r"^\| `monitor` .*\n", "", readme, count=1, flags=re.MULTILINE))
    assert any("no row for 'monitor'" in problem for problem in missing), missing
    unnamed = check_readme_layout(readme.replace("  worker collection monitor", "  worker collection        ", 1))
    assert any("names 'monitor' 0 times" in problem for problem in unnamed), unnamed
    upward = '#include "engine/file_image.h"\n#include "check/program_state.h"\n'
    found = check_file(Path("src/engine/example.cpp"), "engine", below("engine"), upward)
    assert len(found) == 1 and "check/program_state.h" in found[0], found
    toolkit = check_file(Path("src/check/x.cpp"), "check", below("check"), "#include <QWidget>\n")
    assert len(toolkit) == 1, toolkit
    climbing = check_file(Path("src/engine/x.cpp"), "engine", below("engine"), '#include "../gui/x.h"\n')
    assert len(climbing) == 1, climbing
    windows = check_file(Path("src/monitor/x.cpp"), "monitor", below("monitor"), "#include <windows.h>\n")
    assert len(windows) == 1 and "windows.h" in windows[0], windows
    assert not check_file(Path("src/platform/win32/x.cpp"), "platform", below("platform"),
                          "#include <windows.h>\n#include <winioctl.h>\n")
    assert not check_file(Path("src/cpudll/win32/x.cpp"), "cpudll", below("cpudll"), "#include <windows.h>\n")
    assert not check_file(Path("src/wingui/x.cpp"), "wingui", below("wingui"), "#include <commctrl.h>\n")
    assert len(check_file(Path("src/desktop/x.cpp"), "desktop", below("desktop"), "#include <windows.h>\n")) == 1
    assert len(check_file(Path("src/wingui/x.cpp"), "wingui", below("wingui"), '#include "gui/mainunit.h"\n')) == 1
    assert len(check_file(Path("src/wingui/x.cpp"), "wingui", below("wingui"), "#include <QWidget>\n")) == 1
    kin = check_file(Path("src/engine/x.cpp"), "engine", below("engine"),
                     "#include <WinBase.h>\n#include <fileapi.h>\n#include <io.h>\n#include <vector>\n")
    assert len(kin) == 3, kin
    spellings = ["#ifdef _WIN32", "#if defined(__MINGW32__)", "#if defined _WIN64 || x", "#ifndef WIN32",
                 "#elif _MSC_VER >= 1900", "#if __CYGWIN__", "constexpr bool kWindows = _WIN32 + 0;"]
    branches = [problem for spelling in spellings
                for problem in check_windows_branches(Path("src/monitor/x.cpp"), "monitor", spelling)]
    assert len(branches) == len(spellings), branches
    assert not check_windows_branches(Path("src/monitor/x.cpp"), "monitor",
                                      "// unlike #ifdef _WIN32 code\n/* _WIN32 */ int WIN32ish;\n")
    assert not check_windows_branches(Path("src/platform/x.cpp"), "platform", "#ifdef _WIN32\n")
    assert check_windows_branches(Path("tests/engine/x.cpp"), "engine tests", "#ifdef __MINGW64__\n")
    cmake_spellings = ["if(WIN32)", "if (NOT WIN32)", "elseif(MINGW)", 'if(CMAKE_SYSTEM_NAME STREQUAL "Windows")',
                       "target_sources(x PRIVATE $<$<PLATFORM_ID:Windows>:w.cpp>)", "set(name x.dll)"]
    cmake = [problem for spelling in cmake_spellings
             for problem in check_cmake_branches(Path("src/check/CMakeLists.txt"), "check", spelling)]
    assert len(cmake) == len(cmake_spellings), cmake
    assert not check_cmake_branches(Path("src/check/CMakeLists.txt"), "check", "# not if(WIN32): platform chooses\n")
    assert not check_cmake_branches(Path("src/platform/CMakeLists.txt"), "platform", "if(WIN32)\n")
    print("\n".join(found + toolkit + climbing + windows + kin + branches + cmake + table + unnamed))
    print("self-test: the violations above were caught")


def main():
    if "--self-test" in sys.argv:
        self_test()
        return 0
    problems = check_tree() + check_readme_layout((ROOT / "README.md").read_text())
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layer violation(s)", file=sys.stderr)
        return 1
    print("includes and links follow the layers, and the README shows the layers as they are")
    return 0


if __name__ == "__main__":
    sys.exit(main())
