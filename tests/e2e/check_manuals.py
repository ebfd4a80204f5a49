#!/usr/bin/env python3
"""The manual pages agree with the programs' --help: every option a program's help lists
is described in its manual's OPTIONS section and the other way round, and every kvdtool
subcommand in its help has its entry under COMMANDS (and only those), with any options of
its own on that entry's line.

  check_manuals.py MANUAL_SOURCES_DIR KORVAX KORVAX_SCAN KVDTOOL
"""
import re
import subprocess
import sys
from pathlib import Path

HELP_OPTION_LINE = re.compile(r"^\s+(-[^\s,]+(?:,\s*-[^\s,]+)*)")
MANUAL_ENTRY = re.compile(r"^\*([^*\s]+)\*")


def help_text(program, *arguments):
    return subprocess.run([program, *arguments, "--help"], check=True, capture_output=True, text=True,
                          env={"PATH": "/usr/bin:/bin"}).stdout


def help_options(text):
    options = set()
    for line in text.splitlines():
        match = HELP_OPTION_LINE.match(line)
        if match:
            options.update(part.strip() for part in match.group(1).split(","))
    return options


def help_subcommands(text):
    section = text.split("Subcommands:", 1)[1] if "Subcommands:" in text else ""
    return {line.split()[0] for line in section.splitlines() if line.startswith("  ") and line.split()}


def manual_section(path, title):
    """The entries (`*name*` at the start of a line) of one section of a scdoc page, with
    every further `*...*` on the same line (alternative spellings such as *-h*, *--help*)."""
    entries, inside = set(), False
    for line in path.read_text().splitlines():
        if line.startswith("# "):
            inside = line[2:].strip() == title
            continue
        if inside and MANUAL_ENTRY.match(line):
            entries.update(token for token in re.findall(r"\*([^*\s]+)\*", line) if token.startswith("-") or
                           title == "COMMANDS")
    return entries


def compare(what, from_help, from_manual, problems):
    for missing in sorted(from_help - from_manual):
        problems.append(f"{what}: {missing} is in --help but not in the manual")
    for extra in sorted(from_manual - from_help):
        problems.append(f"{what}: {extra} is in the manual but not in --help")


def main():
    manuals, korvax, korvax_scan, kvdtool = Path(sys.argv[1]), *sys.argv[2:5]
    problems = []
    for name, program in (("korvax", korvax), ("korvax-scan", korvax_scan), ("kvdtool", kvdtool)):
        page = manuals / f"{name}.1.scd"
        compare(f"{name}(1) options", help_options(help_text(program)), manual_section(page, "OPTIONS"), problems)
    top = help_text(kvdtool)
    commands = help_subcommands(top)
    command_entries = manual_section(manuals / "kvdtool.1.scd", "COMMANDS")
    command_options = {entry for entry in command_entries if entry.startswith("-")}
    compare("kvdtool(1) commands", commands, command_entries - command_options, problems)
    for command in commands:
        extra = help_options(help_text(kvdtool, command)) - {"-h", "--help"} - command_options
        if extra:
            problems.append(f"kvdtool {command} has options the manual does not describe: {sorted(extra)}")
    for problem in problems:
        print(problem)
    if not commands:
        problems.append("kvdtool --help lists no subcommands")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
