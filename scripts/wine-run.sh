#!/usr/bin/env bash
# Runs a Windows program of a Korvax build under Wine: the CMAKE_CROSSCOMPILING_EMULATOR of
# the Windows builds, so ctest (and test discovery) run the .exe tests through it.
#
#   scripts/wine-run.sh ARCH BUILD_DIR PROGRAM [ARG...]   run PROGRAM (a .exe of ARCH)
#   scripts/wine-run.sh --prepare ARCH BUILD_DIR           make the Wine prefix afresh
#   scripts/wine-run.sh --stop ARCH BUILD_DIR              end the build's Wine server
#
# ARCH is x86_64 (run by the 64-bit Wine loader) or i686 (by Debian's 32-bit Wine). The
# prefix lives in BUILD_DIR/wine-prefix; it is made on first use when --prepare was not run.
#
# Wine's traps, and what this does about them:
# - Wine without a screen offers to install Mono and Gecko: both are switched off, and so
#   is its debug output.
# - Wine maps / to drive Z:, so Linux-only code (reading /proc/stat, a /tmp path) would seem
#   to work. Z: is removed; drive T: maps the build folder only, where the programs and
#   their test files are. With KORVAX_WINE_DATA set to a Linux folder, drive D: maps that
#   folder too (the benchmarks' corpus).
# - A Wine server started by a program under ctest inherits ctest's pipes and hangs it, and
#   a fresh server per program costs seconds. One persistent server per prefix is started
#   here, detached from every pipe, with Wine's services; programs then start in tens of
#   milliseconds.
# - Wine's window metrics (frames, caption, fonts) are not Windows 10's: the prefix gets
#   Windows 10's, and Wine's null display driver, so that window tests run without a
#   screen and measure what a Windows 10 user sees (wine-test-prefix.reg).
# - A 32-bit program under the 64-bit loader, or the other way round, can exit 0 having
#   run nothing. The program's PE header must name ARCH's machine, else this fails loudly.
set -euo pipefail

usage() { echo "usage: $0 [--prepare|--stop] ARCH BUILD_DIR [PROGRAM ARG...]" >&2; exit 2; }

mode=run
case "${1:-}" in
  --prepare) mode=prepare; shift ;;
  --stop) mode=stop; shift ;;
esac
[ $# -ge 2 ] || usage
arch=$1
build=$(cd "$2" && pwd)
shift 2

case "$arch" in
  x86_64) loader=/usr/lib/wine/wine64; winearch=win64; machine=8664 ;;
  i686)   loader=/usr/lib/wine/wine;   winearch=win32; machine=014c ;;
  *) echo "wine-run: unknown architecture '$arch' (x86_64 or i686)" >&2; exit 2 ;;
esac
# Either loader talks to the one 64-bit server, which serves 32-bit clients too.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
if [ ! -x "$loader" ]; then
  [ "$arch" = i686 ] && echo "wine-run: 32-bit Wine is missing (install wine32:i386: scripts/install-deps.sh)" >&2 \
                     || echo "wine-run: 64-bit Wine is missing (install wine64: scripts/install-deps.sh)" >&2
  exit 125
fi

settings=$(cd "$(dirname "$0")" && pwd)/wine-test-prefix.reg
export WINEPREFIX=$build/wine-prefix
export WINEARCH=$winearch
export WINEDEBUG=-all
# winemenubuilder would write menu entries and icons into the home folder of whoever runs
# the tests, for every program a prefix installs.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# No window may open on a desktop a test run happens to have.
unset DISPLAY WAYLAND_DISPLAY

make_prefix() {
  rm -rf "$WINEPREFIX"
  "$loader" wineboot --init </dev/null >/dev/null 2>&1
  "$server" -w
  # No display (Wine's null driver), and Windows 10's window metrics instead of Wine's
  # own (wine-test-prefix.reg), read through Z: while it is still there.
  "$loader" regedit /S "Z:${settings//\//\\}" </dev/null >/dev/null 2>&1
  "$server" -w
  rm -f "$WINEPREFIX/dosdevices/z:"
  ln -sfn "$build" "$WINEPREFIX/dosdevices/t:"
  [ -d "$WINEPREFIX/drive_c/windows" ] || { echo "wine-run: Wine could not make the prefix $WINEPREFIX" >&2; exit 125; }
  touch "$WINEPREFIX/.korvax-ready"
}

# Starts the prefix's persistent server and Wine's services, detached from our pipes. A
# server that already runs for the prefix refuses to start a second time: then nothing is
# started at all.
start_server() {
  ( "$server" -p 600 && "$loader" wineboot ) </dev/null >/dev/null 2>&1 || true
}

# Preparing and starting happen under one lock: ctest runs tests side by side.
locked() {
  mkdir -p "$build"
  exec 9>"$build/wine-prefix.lock"
  flock 9
  "$@"
  flock -u 9
  exec 9>&-
}

case "$mode" in
  prepare)
    [ $# -eq 0 ] || usage
    if [ -d "$WINEPREFIX" ]; then "$server" -k 2>/dev/null || true; fi
    locked make_prefix
    locked start_server
    exit 0
    ;;
  stop)
    [ $# -eq 0 ] || usage
    if [ -d "$WINEPREFIX" ]; then "$server" -k 2>/dev/null || true; fi
    exit 0
    ;;
esac

[ $# -ge 1 ] || usage
program=$1
shift
if [ ! -f "$program" ]; then
  echo "wine-run: no such program: $program" >&2
  exit 125
fi
# The machine field of the PE header: at the offset the DOS header keeps at 0x3C, "PE\0\0"
# and then the machine as a little-endian 16-bit number.
read_hex() { od -An -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'; }
pe_offset=$(read_hex "$program" 60 4)
pe_offset=$((16#${pe_offset:6:2}${pe_offset:4:2}${pe_offset:2:2}${pe_offset:0:2}))
signature=$(read_hex "$program" "$pe_offset" 4)
found=$(read_hex "$program" $((pe_offset + 4)) 2)
found=${found:2:2}${found:0:2}
if [ "$(read_hex "$program" 0 2)" != 4d5a ] || [ "$signature" != 50450000 ]; then
  echo "wine-run: $program is no Windows program" >&2
  exit 125
fi
if [ "$found" != "$machine" ]; then
  echo "wine-run: $program is built for machine 0x$found, not for $arch (0x$machine): refusing to run it under the wrong Wine" >&2
  exit 125
fi

[ -f "$WINEPREFIX/.korvax-ready" ] || locked make_prefix
if [ -n "${KORVAX_WINE_DATA:-}" ]; then
  ln -sfn "$(cd "$KORVAX_WINE_DATA" && pwd)" "$WINEPREFIX/dosdevices/d:"
else
  rm -f "$WINEPREFIX/dosdevices/d:"
fi
locked start_server
exec "$loader" "$program" "$@"
