#!/usr/bin/env python3
"""Makes harmless demonstration samples for the Korvax default database.

The programs are tiny DOS programs written here byte by byte (each prints a greeting);
the "infections" are the inert marks of the demo entries in data/virbase.kvsrc, and the
demo cures restore every infected sample to the exact bytes of its clean program.

Usage: make_demo_samples.py OUTDIR [--tree]
  OUTDIR/infected/   demo programs infected with the demo marks, and the EICAR test file
  OUTDIR/expected/   the bytes each of them must have after a check: the clean program
                     where the database cures the infection, else the file unchanged
With --tree, also a nested folder tree for a whole check: OUTDIR/tree/ with the infected
samples spread over sub-folders, clean programs, files the scanner must pass over, and
one unreadable program (unreadable only to users other than root).
"""
import os
import struct
import sys

EICAR = rb"X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"


def com_program(greeting: bytes) -> bytes:
    # org 100h: mov dx,msg / mov ah,9 / int 21h / mov ax,4C00h / int 21h / msg db ...,'$'
    code_size = 12
    msg = 0x100 + code_size
    code = bytes([0xBA, msg & 0xFF, msg >> 8, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x00, 0x4C, 0xCD, 0x21])
    return code + greeting + b"\r\n$"


def exe_program(greeting: bytes) -> bytes:
    # push cs / pop ds / mov dx,msg / mov ah,9 / int 21h / mov ax,4C00h / int 21h / msg
    code_size = 14
    code = bytes([0x0E, 0x1F, 0xBA, code_size, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x00, 0x4C, 0xCD, 0x21])
    body = code + greeting + b"\r\n$"
    header_paragraphs = 2
    total = header_paragraphs * 16 + len(body)
    pages, last = (total + 511) // 512, total % 512
    header = struct.pack("<2sHHHHHHHHHHHHH", b"MZ", last, pages, 0, header_paragraphs, 0x10, 0xFFFF,
                         0, 0x100, 0, 0, 0, 0x1C, 0)
    return header.ljust(header_paragraphs * 16, b"\0") + body


def append_a(program: bytes) -> bytes:
    return b"KVXA" + program[4:] + b"KVXBODY!" + program[:4] + b"\0\0\0\0"


def prepend_b(program: bytes, variant: bytes = b"KVXP") -> bytes:
    return variant + b"RE-B" + b"\x90" * 8 + program


def dropper_c(program: bytes) -> bytes:
    return program + b"KVXDROP!"


def write(path: str, data: bytes) -> None:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    out = args[0]
    hello_com = com_program(b"Hello from a Korvax demo program!")
    hello_exe = exe_program(b"Hello from a Korvax demo EXE!")
    other_com = com_program(b"Another harmless demo program.")

    infected = {
        "append-a.com": append_a(hello_com),
        "prepend-b.exe": prepend_b(hello_exe),
        "prepend-b2.com": prepend_b(other_com, b"kvxp"),
        "double.com": prepend_b(append_a(hello_com)),
        "dropper-c.exe": dropper_c(hello_exe),
        "eicar.com": EICAR,
    }
    expected = {
        "append-a.com": hello_com,
        "prepend-b.exe": hello_exe,
        "prepend-b2.com": other_com,
        "double.com": hello_com,
    }
    expected["dropper-c.exe"] = infected["dropper-c.exe"]  # no cure: reported only
    expected["eicar.com"] = EICAR
    for name, data in expected.items():
        write(os.path.join(out, "expected", name), data)
    for name, data in infected.items():
        write(os.path.join(out, "infected", name), data)

    if "--tree" in sys.argv:
        tree = os.path.join(out, "tree")
        write(os.path.join(tree, "games", "HELLO.COM"), hello_com)
        write(os.path.join(tree, "games", "arcade", "append-a.com"), append_a(hello_com))
        write(os.path.join(tree, "games", "arcade", "Setup.Exe"), prepend_b(hello_exe))
        write(os.path.join(tree, "tools", "double.com"), prepend_b(append_a(hello_com)))
        write(os.path.join(tree, "tools", "dropper-c.exe"), dropper_c(hello_exe))
        write(os.path.join(tree, "tools", "readme.txt"), b"Not a program: passed over.\n")
        write(os.path.join(tree, "tools", "eicar.com.txt"), EICAR)  # wrong extension: passed over
        write(os.path.join(tree, "downloads", "eicar.com"), EICAR)
        write(os.path.join(tree, "downloads", ".hidden", "prepend-b2.com"), prepend_b(other_com, b"kvxp"))
        write(os.path.join(tree, "downloads", "hello.exe"), hello_exe)
        locked = os.path.join(tree, "downloads", "locked.exe")
        write(locked, append_a(hello_com))
        os.chmod(locked, 0o000)
    return 0


if __name__ == "__main__":
    sys.exit(main())
