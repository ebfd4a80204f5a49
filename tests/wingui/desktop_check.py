#!/usr/bin/env python3
"""The whole desktop check of korvax.exe under Wine, as a user makes it: the demo tree
(data/make_demo_samples.py --tree) named on korvax.exe's command line, "Начать проверку"
pressed, the statistics window read back (desktop_driver.exe, through the window system
only). What the windows show must be what korvax-scan.exe prints for a copy of the same
tree (the same rows, as a set: the desktop's come in the order its workers finish; the same
counters), and every file the two checks leave must be the same, the infected demo programs
cured to their exact original bytes.

  desktop_check.py WINE_RUN ARCH BUILD_DIR SAMPLE_MAKER

Every check reads what the programs printed and the files they left, never an exit status
alone (Wine runs a program it cannot load as a silent success).
"""
import shutil
import subprocess
import sys
from pathlib import Path


def run(wine_run, arch, build, *arguments):
    done = subprocess.run([wine_run, arch, str(build), *arguments], capture_output=True, timeout=900)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def windows(build, path):
    """The path under the build folder as the Windows programs see it (drive T:)."""
    return "T:\\" + str(Path(path).relative_to(build)).replace("/", "\\")


def main():
    wine_run, arch, build, maker = sys.argv[1], sys.argv[2], Path(sys.argv[3]).resolve(), sys.argv[4]
    work = build / "desktop-check"
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run([sys.executable, maker, str(work / "demo"), "--tree"], check=True, capture_output=True)
    # Neither check may meet the other's files, or the unreadable one, made for Linux's users.
    (work / "demo" / "tree" / "downloads" / "locked.exe").chmod(0o644)
    shutil.copytree(work / "demo" / "tree", work / "scan-tree")
    shutil.copytree(work / "demo" / "tree", work / "desk-tree")
    (work / "desk").mkdir()
    shutil.copyfile(build / "bin" / "virbase.kvd", work / "desk" / "virbase.kvd")
    problems = []

    status, out, err = run(wine_run, arch, build, str(build / "bin" / "korvax-scan.exe"), "--sort", "--db",
                           windows(build, build / "bin" / "virbase.kvd"), windows(build, work / "scan-tree"))
    scan_rows, scan_counts = set(), {}
    for line in out.splitlines():
        fields = line.split("\t")
        if len(fields) == 3:
            scan_rows.add((fields[0].replace(windows(build, work / "scan-tree"), "TREE"), fields[1], fields[2]))
        elif ": " in line:
            name, _, value = line.partition(": ")
            scan_counts[name] = value.strip()
    if not scan_rows or "Проверено" not in scan_counts:
        problems.append(f"korvax-scan.exe printed no check (status {status}):\n{out}\n{err}")

    status, out, err = run(wine_run, arch, build, str(build / "bin" / "desktop_driver.exe"),
                           windows(build, build / "bin" / "korvax.exe"), windows(build, work / "desk"),
                           windows(build, work / "desk-tree"))
    desk_rows, desk = set(), {}
    for line in out.splitlines():
        fields = line.split("\t")
        if fields[0] == "row" and len(fields) == 4:
            desk_rows.add((fields[1].replace(windows(build, work / "desk-tree"), "TREE"), fields[2], fields[3]))
        elif fields[0] in ("total", "counters", "exit"):
            desk[fields[0]] = fields[1:]
    if status != 0 or "exit" not in desk:
        problems.append(f"the desktop check could not be read (status {status}):\n{out}\n{err}")
    else:
        if desk_rows != scan_rows:
            problems.append(f"rows differ:\n  desktop only: {sorted(desk_rows - scan_rows)}\n"
                            f"  korvax-scan only: {sorted(scan_rows - desk_rows)}")
        if desk["total"] != [scan_counts.get("Всего")]:
            problems.append(f"total: desktop {desk['total']}, korvax-scan {scan_counts.get('Всего')}")
        expected = [scan_counts.get("Проверено"), scan_counts.get("Вылечено"), scan_counts.get("Тел вирусов")]
        if desk["counters"] != expected:
            problems.append(f"counters (checked, cured, viruses): desktop {desk['counters']}, korvax-scan {expected}")
        if desk["exit"] != ["0"]:
            problems.append(f"korvax.exe ended with status {desk['exit']} when its window was closed")

    # Both checks leave the same files, and the cured ones hold their original bytes.
    for scanned in sorted(p for p in (work / "scan-tree").rglob("*") if p.is_file()):
        checked = work / "desk-tree" / scanned.relative_to(work / "scan-tree")
        if checked.read_bytes() != scanned.read_bytes():
            problems.append(f"{checked.relative_to(work)} differs from what korvax-scan left")
    expected_dir = work / "demo" / "expected"
    for name, original in [("games/arcade/append-a.com", "append-a.com"), ("games/arcade/Setup.Exe", "prepend-b.exe"),
                           ("tools/double.com", "double.com"), ("tools/dropper-c.exe", "dropper-c.exe"),
                           ("downloads/eicar.com", "eicar.com"), ("downloads/.hidden/prepend-b2.com", "prepend-b2.com")]:
        if (work / "desk-tree" / name).read_bytes() != (expected_dir / original).read_bytes():
            problems.append(f"desk-tree/{name} is not as it must be after a check (expected/{original})")
    cured = sum(1 for row in desk_rows if row[2] == "Вылечен")
    if cured < 4:
        problems.append(f"only {cured} cures listed by the desktop")

    for problem in problems:
        print(problem)
    if not problems:
        print(f"the desktop check of the demo tree: {len(desk_rows)} rows and the counters "
              f"{desk['counters']} as korvax-scan.exe gives them, and every file as expected")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
