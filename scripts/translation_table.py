#!/usr/bin/env python3
"""Turns the program's translation catalogue (a Qt .ts file) into the C++ table that the
layers without the toolkit look their texts up in (src/platform/program_language.cpp).

  scripts/translation_table.py CATALOGUE.ts OUTPUT.inc

Every finished translation of every context goes in, keyed by its source text alone: the
table has no contexts, so one source text must have one translation wherever it appears
(a conflict is an error). Unfinished and vanished messages are left out, so their texts
stay Russian.
"""
import sys
import xml.etree.ElementTree as ElementTree


def literal(text):
    """A C++ string literal with exactly the UTF-8 bytes of `text`."""
    out = []
    for byte in text.encode("utf-8"):
        char = chr(byte)
        if char in '"\\':
            out.append("\\" + char)
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append("\\%03o" % byte)  # octal: never runs on into the next character
    return '"' + "".join(out) + '"'


def translations(path):
    table = {}
    for message in ElementTree.parse(path).getroot().iter("message"):
        source = message.findtext("source")
        translation = message.find("translation")
        if source is None or translation is None or translation.get("type") in ("unfinished", "vanished", "obsolete"):
            continue
        english = translation.text or ""
        if not english:
            continue
        if table.get(source, english) != english:
            raise SystemExit(f"{path}: {source!r} has two translations: {table[source]!r} and {english!r}")
        table[source] = english
    return table


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    catalogue, output = sys.argv[1:]
    table = translations(catalogue)
    lines = [f"// Made from {catalogue.rsplit('/', 1)[-1]} by scripts/translation_table.py; do not edit.\n"]
    # Sorted by the source's bytes, the order the lookup's binary search expects.
    for source in sorted(table, key=lambda text: text.encode("utf-8")):
        lines.append(f"{{{literal(source)}, {literal(table[source])}}},\n")
    with open(output, "w", encoding="ascii") as out:
        out.writelines(lines)


if __name__ == "__main__":
    main()
