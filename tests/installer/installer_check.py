#!/usr/bin/env python3
"""The Windows installer under Wine, as a user meets it, in a Wine prefix of its own.

  installer_check.py ARCH BUILD_DIR INSTALLER VERSION

ARCH is x64 (run by the 64-bit Wine) or x86 (by Debian's 32-bit Wine, in a 32-bit prefix:
under the 64-bit one a 32-bit installer installs nothing and still exits 0). BUILD_DIR holds
installer-stage/ (the files the installer packed, scripts/make-installer.sh) and
bin/desktop_driver.exe. The installer is tried twice in the same prefix: for the user
(the default) and for all users (/ALLUSERS). Each time:

- it installs silently (/S), and a second time over the first install, which it repairs;
- the programs, the database and the manuals are where a Windows user expects them, byte
  for byte as packed; the registry has the programs list's entry (version, publisher,
  size, uninstall commands) and the folders' Explorer entry under the right root (HKCU or
  HKLM, the 64-bit view for x64); the Start menu shortcut starts korvax.exe --user-folder;
- korvax-scan.exe, started in another folder and given no --db, finds EICAR with the
  installed default database;
- the Explorer entry's command, as the registry holds it, run on a folder whose name holds
  a space and Cyrillic letters (and a decoy virbase.kvd, which must not be taken), opens
  the desktop scanner with that folder listed and the user's own copy of the database,
  made on that first start, which finds EICAR there;
- while korvax.exe runs, installing over it and uninstalling both stop before they change
  anything;
- the uninstaller, run silently as the programs list runs it, removes the programs, the
  shortcut and both registry entries, and keeps the user's data folder.

Every check reads files, the registry's files and what the programs printed, never an exit
status alone (Wine runs a program it cannot load as a silent success). Prints what it
found wrong, or one line saying that all of it held; exits 1 on a problem.
"""
import getpass
import os
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path

EICAR = rb"X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"
PROGRAMS = ["korvax.exe", "korvax-scan.exe", "kvdtool.exe", "cpudll.dll"]
MANUALS = ["korvax.txt", "korvax-scan.txt", "kvdtool.txt", "kvd.txt", "signatures.txt"]
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvax"
VERB_KEY = r"Software\Classes\Directory\shell\Korvax"
# The folder the Explorer entry is tried on: a space, Cyrillic letters.
CHECKED = "Проверка папки"


class Problems(list):
    def check(self, holds, what):
        if not holds:
            self.append(what)
        return holds


# --- Wine ------------------------------------------------------------------------------

class Wine:
    """A fresh prefix of its own: no Z: drive (no Linux path can make Windows code seem to
    work), T: mapping only the test's folder, no window on any screen, and nothing written
    into the Linux user's menus."""

    def __init__(self, arch, root):
        self.loader = "/usr/lib/wine/wine64" if arch == "x64" else "/usr/lib/wine/wine"
        self.server = "/usr/lib/wine/wineserver64"
        if not os.access(self.server, os.X_OK):
            self.server = "/usr/lib/wine/wineserver32"
        self.prefix = root / "prefix"
        self.drive = root / "drive"
        home = root / "home"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEARCH="win64" if arch == "x64" else "win32",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                        HOME=str(home), XDG_DATA_HOME=str(home / "data"), XDG_CONFIG_HOME=str(home / "config"),
                        LC_ALL="C.UTF-8")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        shutil.rmtree(root, ignore_errors=True)
        self.drive.mkdir(parents=True)
        home.mkdir()
        self.run("wineboot", "--init")
        self.run("reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "null", "/f")
        (self.prefix / "dosdevices" / "z:").unlink()
        (self.prefix / "dosdevices" / "t:").symlink_to(self.drive)

    def run(self, *arguments, cwd=None, wait=True):
        """Runs a Windows program and, with `wait`, waits until every process it started
        has ended (an uninstaller goes on in a copy of itself after it returns)."""
        done = subprocess.run([self.loader, *arguments], env=self.env, cwd=cwd or self.drive,
                              capture_output=True, timeout=600, stdin=subprocess.DEVNULL)
        if wait:
            self.wait()
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def start(self, *arguments):
        """Starts a Windows program and leaves it running."""
        return subprocess.Popen([self.loader, *arguments], env=self.env, cwd=self.drive, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait(self):
        subprocess.run([self.server, "-w"], env=self.env, timeout=600)

    def end_all(self):
        subprocess.run([self.server, "-k"], env=self.env, timeout=600)
        self.wait()

    def on_drive_t(self, path):
        return "T:\\" + str(Path(path).relative_to(self.drive)).replace("/", "\\")

    def host_path(self, windows_path):
        """Where a C: path of the prefix lies on Linux."""
        drive, _, rest = windows_path.partition(":\\")
        if drive.upper() != "C":
            raise ValueError(f"not on C: {windows_path}")
        return self.prefix / "drive_c" / rest.replace("\\", "/")

    def registry(self, hive):
        return read_registry(self.prefix / ("user.reg" if hive == "HKCU" else "system.reg"))


def read_registry(path):
    """Wine's registry file as {key (lower case): {value name (lower case): value}}. Strings
    come back decoded (Wine writes \\xNNN for what is not ASCII), DWORDs as int."""
    keys, current = {}, None
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line.startswith("["):
            name = line[1:line.index("]")]
            current = keys.setdefault(unescape(name).lower(), {})
        elif current is not None and line.startswith(("\"", "@")):
            if line.startswith("@"):
                name, rest = "", line[2:]
            else:
                end = closing_quote(line, 1)
                name, rest = unescape(line[1:end]), line[end + 2:]
            if rest.startswith("\""):
                current[name.lower()] = unescape(rest[1:closing_quote(rest, 1)])
            elif rest.startswith("dword:"):
                current[name.lower()] = int(rest[6:], 16)
            else:
                current[name.lower()] = rest
    return keys


def closing_quote(text, start):
    i = start
    while text[i] != "\"":
        i += 2 if text[i] == "\\" else 1
    return i


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            c = text[i + 1]
            if c == "x":
                j = i + 2
                while j < len(text) and j < i + 6 and text[j] in "0123456789abcdefABCDEF":
                    j += 1
                out.append(chr(int(text[i + 2:j], 16)))
                i = j
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(c, c))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_shortcut(path):
    """The target, working folder and arguments of a shell link (.lnk), as its format
    (MS-SHLLINK) stores them."""
    data = path.read_bytes()
    if data[:4] != b"\x4c\x00\x00\x00":
        raise ValueError(f"{path} is no shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    unicode = flags & 0x80
    offset = 0x4C
    if flags & 0x01:  # the target's ID list
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = ""
    if flags & 0x02:  # LinkInfo: the target's local path
        size, header = struct.unpack_from("<II", data, offset)
        base = struct.unpack_from("<I", data, offset + 16)[0]
        if header >= 0x24:
            wide = struct.unpack_from("<I", data, offset + 28)[0]
            end = data.index(b"\x00\x00", offset + wide)
            end += (end - offset - wide) % 2
            target = data[offset + wide:end].decode("utf-16-le")
        else:
            # The system's code page: the paths tried here are ASCII.
            target = data[offset + base:data.index(b"\x00", offset + base)].decode("latin-1")
        offset += size
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "working"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, offset)[0]
            width = 2 if unicode else 1
            raw = data[offset + 2:offset + 2 + count * width]
            # Wine counts the terminating zero too, Windows does not.
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            offset += 2 + count * width
    return target, strings.get("working", ""), strings.get("arguments", "")


def split_command(command):
    """A command line as Windows programs read it: the program in quotes, then arguments."""
    if not command.startswith("\""):
        program, _, rest = command.partition(" ")
        return program, rest.split()
    end = command.index("\"", 1)
    return command[1:end], command[end + 1:].split()


def pe_machine(path):
    data = path.read_bytes()[:4096]
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    return data[:2] == b"MZ" and data[offset:offset + 4] == b"PE\0\0" and struct.unpack_from("<H", data, offset + 4)[0]


# --- One install, used and removed -----------------------------------------------------

def install_cycle(wine, arch, installer, stage, version, driver, all_users, problems):
    kind = "for all users" if all_users else "for the user"
    user = getpass.getuser()
    if all_users:
        folder_windows = r"C:\Program Files\Korvax"
        links = wine.prefix / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
        hive = "HKLM"
    else:
        folder_windows = rf"C:\users\{user}\AppData\Local\Programs\Korvax"
        links = wine.prefix / f"drive_c/users/{user}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
        hive = "HKCU"
    folder = wine.host_path(folder_windows)
    user_data = wine.prefix / f"drive_c/users/{user}/AppData/Local/Korvax"
    options = ["/S", "/ALLUSERS"] if all_users else ["/S"]

    status, out, err = wine.run(installer, *options)
    if not problems.check((folder / "korvax.exe").is_file(),
                          f"{kind}: the installer (status {status}) put no korvax.exe into {folder_windows}:\n{out}{err}"):
        return
    if all_users and arch == "x64":
        problems.check(not (wine.prefix / "drive_c/Program Files (x86)/Korvax").exists(),
                       f"{kind}: the 64-bit programs went into Program Files (x86)")
    # Installed again over itself: what was damaged is whole again, and nothing is doubled.
    (folder / "virbase.kvd").write_bytes(b"damaged")
    wine.run(installer, *options)
    for name in PROGRAMS + ["virbase.kvd"]:
        installed = folder / name
        problems.check(installed.is_file() and installed.read_bytes() == (stage / name).read_bytes(),
                       f"{kind}: {folder_windows}\\{name} is not the file the installer packed")
    for name in MANUALS:
        manual = folder / "doc" / name
        problems.check(manual.is_file() and manual.read_bytes() == (stage / "doc" / name).read_bytes()
                       and b"korvax" in manual.read_bytes().lower(), f"{kind}: the manual doc\\{name} is missing")
    problems.check((folder / "uninstall.exe").is_file(), f"{kind}: no uninstall.exe")

    # The registry: under HKLM's 64-bit view for the 64-bit programs, which the 32-bit
    # view (Wow6432Node) must not hold.
    registry = wine.registry(hive)
    entry = registry.get(UNINSTALL_KEY.lower(), {})
    wow = registry.get(UNINSTALL_KEY.replace("Software\\", "Software\\Wow6432Node\\").lower())
    if all_users and arch == "x64":
        problems.check(wow is None, f"{kind}: the 64-bit install is listed among the 32-bit programs")
    expected_uninstall = f"\"{folder_windows}\\uninstall.exe\""
    installed_kib = sum(p.stat().st_size for p in folder.rglob("*") if p.is_file()) // 1024
    for name, value in [("DisplayName", "Korvax"), ("DisplayVersion", version), ("Publisher", "Korvax developers"),
                        ("InstallLocation", folder_windows), ("DisplayIcon", f"{folder_windows}\\korvax.exe,0"),
                        ("UninstallString", expected_uninstall), ("QuietUninstallString", expected_uninstall + " /S"),
                        ("NoModify", 1), ("NoRepair", 1)]:
        problems.check(entry.get(name.lower()) == value,
                       f"{kind}: {hive}\\{UNINSTALL_KEY} {name} is {entry.get(name.lower())!r}, not {value!r}")
    size = entry.get("estimatedsize")
    problems.check(isinstance(size, int) and installed_kib * 0.9 <= size <= installed_kib * 1.1 + 8,
                   f"{kind}: EstimatedSize {size!r} KiB for {installed_kib} KiB installed")
    other = wine.registry("HKCU" if all_users else "HKLM")
    problems.check(UNINSTALL_KEY.lower() not in other and VERB_KEY.lower() not in other,
                   f"{kind}: keys written under the other root too")

    verb = registry.get(VERB_KEY.lower(), {})
    problems.check(verb.get("") == "Проверить в Korvax", f"{kind}: the Explorer entry's text is {verb.get('')!r}")
    command = registry.get((VERB_KEY + "\\command").lower(), {}).get("", "")
    program, arguments = split_command(command)
    problems.check(program == f"{folder_windows}\\korvax.exe" and arguments[:2] == ["--user-folder", "--"]
                   and ("\"%V\"" in command or "\"%1\"" in command),
                   f"{kind}: the Explorer entry's command is {command!r}")

    shortcut = links / "Korvax.lnk"
    if problems.check(shortcut.is_file(), f"{kind}: no Start menu shortcut {shortcut}"):
        target, working, shortcut_arguments = read_shortcut(shortcut)
        problems.check(target.lower() == f"{folder_windows}\\korvax.exe".lower() and shortcut_arguments == "--user-folder"
                       and working.lower() == folder_windows.lower(),
                       f"{kind}: the shortcut starts {target!r} {shortcut_arguments!r} in {working!r}")

    # korvax-scan.exe from elsewhere, without --db: the installed default (the user has no
    # copy of their own yet).
    shutil.rmtree(user_data, ignore_errors=True)
    elsewhere = wine.drive / "elsewhere"
    shutil.rmtree(elsewhere, ignore_errors=True)
    (elsewhere / "sub").mkdir(parents=True)
    (elsewhere / "sub" / "eicar.com").write_bytes(EICAR)
    status, out, err = wine.run(f"{folder_windows}\\korvax-scan.exe", "--verbose", "sub", cwd=elsewhere)
    problems.check(f"sub\\eicar.com\tEICAR-Test-File\t" in out and "Тел вирусов: 1" in out,
                   f"{kind}: korvax-scan.exe without --db found no EICAR (status {status}):\n{out}{err}")
    problems.check(f"{folder_windows}\\virbase.kvd".replace("\\", "\\\\") in err,
                   f"{kind}: korvax-scan.exe took another database than the installed default:\n{err}")

    # The Explorer entry on a folder whose name holds a space and Cyrillic letters, started
    # in that very folder, which holds a decoy database: the program must take the user's.
    checked = wine.drive / CHECKED
    shutil.rmtree(checked, ignore_errors=True)
    checked.mkdir()
    (checked / "eicar.com").write_bytes(EICAR)
    (checked / "virbase.kvd").write_bytes(b"not a database: the folder checked is no place for one\n")
    checked_windows = wine.on_drive_t(checked)
    started = command.replace("%V", checked_windows).replace("%1", checked_windows)
    status, out, err = wine.run(driver, "command", checked_windows, started, cwd=checked)
    lines = [line.split("\t") for line in out.splitlines()]
    problems.check(["folder", checked_windows] in lines,
                   f"{kind}: the Explorer entry did not list {checked_windows} (status {status}):\n{out}{err}")
    problems.check(["row", f"{checked_windows}\\eicar.com", "EICAR-Test-File", "Пропущен"] in lines
                   and ["exit", "0"] in lines,
                   f"{kind}: the desktop scanner the Explorer entry opened found no EICAR in {checked_windows}:\n{out}{err}")
    copy = user_data / "virbase.kvd"
    problems.check(copy.is_file() and copy.read_bytes() == (stage / "virbase.kvd").read_bytes(),
                   f"{kind}: the first start made no copy of the installed database in the user's data folder")
    (user_data / "backups").mkdir(exist_ok=True)
    (user_data / "backups" / "kept.kvq").write_bytes(b"a backup the user may still need")

    # While korvax.exe runs, neither installing over it nor uninstalling may begin: each
    # stops before it changes anything, with ERROR_SHARING_VIOLATION (32). The uninstaller
    # runs in place (_?=) so that its own status is the one read; _?= takes the rest of the
    # command line as it stands, spaces and all, unquoted, which only a batch file gives.
    running = wine.start(f"{folder_windows}\\korvax.exe", "--user-folder")
    time.sleep(5)
    original = (folder / "virbase.kvd").read_bytes()
    (folder / "virbase.kvd").write_bytes(b"changed while korvax.exe runs")
    status, out, err = wine.run(installer, *options, wait=False)
    problems.check(status == 32 and (folder / "virbase.kvd").read_bytes() == b"changed while korvax.exe runs",
                   f"{kind}: the installer went on over a running korvax.exe (status {status})")
    in_place = wine.drive / "uninstall-in-place.cmd"
    in_place.write_bytes(f"@\"{folder_windows}\\uninstall.exe\" /S _?={folder_windows}\r\n"
                         "@exit /b %ERRORLEVEL%\r\n".encode())
    status, out, err = wine.run("cmd", "/c", wine.on_drive_t(in_place), wait=False)
    problems.check(status == 32 and all((folder / name).is_file() for name in PROGRAMS + ["virbase.kvd", "uninstall.exe"]),
                   f"{kind}: the uninstaller went on while korvax.exe ran (status {status})")
    problems.check(running.poll() is None, f"{kind}: korvax.exe did not keep running (status {running.poll()})")
    wine.end_all()
    running.wait(timeout=60)
    (folder / "virbase.kvd").write_bytes(original)

    # The uninstaller, as the programs list runs it silently.
    quiet = entry.get("quietuninstallstring", "")
    uninstaller, uninstall_arguments = split_command(quiet)
    status, out, err = wine.run(uninstaller, *uninstall_arguments)
    problems.check(not folder.exists(),
                   f"{kind}: the uninstaller (status {status}) left {sorted(str(p) for p in folder.rglob('*'))}")
    problems.check(not shortcut.exists(), f"{kind}: the uninstaller left the Start menu shortcut")
    registry = wine.registry(hive)
    problems.check(UNINSTALL_KEY.lower() not in registry, f"{kind}: the uninstaller left the programs list's entry")
    problems.check(VERB_KEY.lower() not in registry and (VERB_KEY + "\\command").lower() not in registry,
                   f"{kind}: the uninstaller left the Explorer entry")
    problems.check(copy.is_file() and (user_data / "backups" / "kept.kvq").is_file(),
                   f"{kind}: the uninstaller removed the user's database or backups")
    problems.check((checked / "virbase.kvd").read_bytes().startswith(b"not a database"), f"{kind}: the decoy changed")


def main():
    arch, build, installer, version = sys.argv[1], Path(sys.argv[2]).resolve(), Path(sys.argv[3]).resolve(), sys.argv[4]
    stage = build / "installer-stage"
    problems = Problems()
    machine = {"x64": 0x8664, "x86": 0x14C}[arch]
    if pe_machine(installer) != machine:
        print(f"{installer} is not an installer for {arch}")
        return 1
    root = build / "installer-test"
    wine = Wine(arch, root)
    shutil.copyfile(installer, wine.drive / installer.name)
    shutil.copyfile(build / "bin" / "desktop_driver.exe", wine.drive / "desktop_driver.exe")
    setup = wine.on_drive_t(wine.drive / installer.name)
    driver = wine.on_drive_t(wine.drive / "desktop_driver.exe")
    install_cycle(wine, arch, setup, stage, version, driver, False, problems)
    install_cycle(wine, arch, setup, stage, version, driver, True, problems)
    for problem in problems:
        print(problem)
    if problems:
        print(f"(the Wine prefix is kept for a look: {wine.prefix})")
        return 1
    shutil.rmtree(root, ignore_errors=True)
    print(f"the {arch} installer installed, repaired and removed Korvax for the user and for all users, "
          f"and the installed programs worked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
