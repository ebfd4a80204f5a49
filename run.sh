#!/usr/bin/env bash
# Builds what is needed (installing missing packages first) and runs Korvax.
#
#   ./run.sh          make fresh demonstration samples and check them against the default
#                     database with `kvdtool scan`: infected samples are cured in place
#   ./run.sh kvdtool ARGS...   run the database tool
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null

bin=build/default/bin
case "${1:-}" in
  kvdtool)
    shift
    exec "$bin/kvdtool" "$@"
    ;;
  "")
    demo=build/demo
    rm -rf "$demo"
    python3 data/make_demo_samples.py "$demo"
    echo "Demo samples in $demo/infected; checking them against $bin/virbase.kvd:"
    status=0
    "$bin/kvdtool" scan "$bin/virbase.kvd" "$demo"/infected/* || status=$?
    if cmp -s <(cat "$demo"/infected/*) <(cat "$demo"/expected/*); then
      echo "Every cured sample is byte for byte its original program again."
    else
      echo "Some samples differ from what the cures should give." >&2
      status=3
    fi
    # 1 means "viruses were found", which is what the demo is for.
    [ "$status" -le 1 ] && exit 0 || exit "$status"
    ;;
  *)
    echo "usage: ./run.sh [kvdtool ARGS...]" >&2
    exit 2
    ;;
esac
