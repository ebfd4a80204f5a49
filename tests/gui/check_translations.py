#!/usr/bin/env python3
"""The English catalogue is complete and current. lupdate, run over the sources exactly as
the build's update_translations target runs it (on a copy), must find no text the catalogue
lacks and none it no longer needs; every text must have a translation, and a translation
keeps the spaces at either end of its source and a closing ':' or '...', which the
program's concatenations rely on ("Загрузка: " + load).

  check_translations.py LUPDATE CATALOGUE.ts LUPDATE_ARGUMENTS...
"""
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path


def messages(path):
    found = {}
    for context in ElementTree.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            translation = message.find("translation")
            found[(name, message.findtext("source"))] = (translation.text or "", translation.get("type"))
    return found


def edges(text):
    stripped = text.strip()
    ending = ":" if stripped.endswith(":") else "..." if stripped.endswith("...") else ""
    return len(text) - len(text.lstrip()), len(text) - len(text.rstrip()), ending


def main():
    lupdate, catalogue, arguments = sys.argv[1], Path(sys.argv[2]), sys.argv[3:]
    committed = messages(catalogue)
    with tempfile.TemporaryDirectory() as folder:
        copy = Path(folder) / catalogue.name
        shutil.copyfile(catalogue, copy)
        subprocess.run([lupdate, *arguments, "-ts", str(copy)], check=True, capture_output=True)
        current = messages(copy)
    problems = []
    for context, source in sorted(current.keys() - committed.keys()):
        problems.append(f"{context}: {source!r} is in the sources but not in the catalogue (build update_translations)")
    for context, source in sorted(committed.keys() - current.keys()):
        problems.append(f"{context}: {source!r} is in the catalogue but no source uses it (build update_translations)")
    for (context, source), (translation, kind) in sorted(committed.items()):
        if kind in ("unfinished", "vanished", "obsolete") or not translation:
            problems.append(f"{context}: {source!r} has no finished translation")
        elif edges(source) != edges(translation):
            problems.append(f"{context}: {translation!r} does not keep the spaces and ending of {source!r}")
    for problem in problems:
        print(problem)
    if not committed:
        problems.append("the catalogue is empty")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
