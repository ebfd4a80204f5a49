#!/usr/bin/env bash
# Builds what is needed (installing missing packages first) and runs Korvax.
#
#   ./run.sh                   make a fresh demo folder (demonstration programs, some
#                              "infected" with the demo marks, the EICAR test file, clean
#                              and unreadable files, nested) and open the desktop scanner
#                              with that folder in its list: press "Начать проверку".
#                              Without a display ($DISPLAY and $WAYLAND_DISPLAY unset) the
#                              folder is checked with korvax-scan instead.
#   ./run.sh scan FOLDER...    check your own folders with korvax-scan (cures are written
#                              back!) against the default database
#   ./run.sh kvdtool ARGS...   run the database tool
set -euo pipefail
cd "$(dirname "$0")"

# The demo runs the Linux programs: the Windows cross compilers and Wine are not needed.
KORVAX_WINDOWS=0 scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

bin=$PWD/build/default/bin
database=$bin/virbase.kvd

# 1 means "viruses were found": for a scanner that is a result, not a failure.
finish() { [ "$1" -le 1 ] && exit 0 || exit "$1"; }

case "${1:-}" in
  kvdtool)
    shift
    exec "$bin/kvdtool" "$@"
    ;;
  scan)
    shift
    [ $# -gt 0 ] || { echo "usage: ./run.sh scan FOLDER..." >&2; exit 2; }
    status=0
    "$bin/korvax-scan" --db "$database" "$@" || status=$?
    finish "$status"
    ;;
  "")
    demo=$PWD/build/demo
    rm -rf "$demo"
    python3 data/make_demo_samples.py "$demo" --tree
    echo "Demo folder: $demo/tree"
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are unset): checking the demo folder with korvax-scan instead of the desktop scanner." >&2
      status=0
      "$bin/korvax-scan" --db "$database" "$demo/tree" || status=$?
      finish "$status"
    fi
    # The desktop scanner takes its database from the folder it starts in: a copy in the
    # demo folder, so that updates tried out there leave the built one alone.
    cp "$database" "$demo/virbase.kvd"
    cd "$demo"
    exec "$bin/korvax" "$demo/tree"
    ;;
  *)
    echo "usage: ./run.sh [scan FOLDER... | kvdtool ARGS...]" >&2
    exit 2
    ;;
esac
