#!/usr/bin/env bash
# The engine on Windows beside Linux, over the bench lab's corpus of real programs: kvdtool
# scan (the whole per-file check, one thread) of the Linux build, and of the x86_64 and
# i686 Windows builds under Wine, and plan_bench (the engine alone, files held in memory)
# of all three. Sets the lab up beside the project if it is not there yet (as
# corpus_compare.sh does). Run it on an otherwise idle machine: about 15 minutes.
#
#   bench/windows_corpus.sh            (BENCH=/tmp/benchlab by default; REPS=3)
#   NS=10,1000 bench/windows_corpus.sh (fewer signature sets)
set -euo pipefail
cd "$(dirname "$0")/.."
lab=$(cd ../shared/bench-lab && pwd)
export BENCH=${BENCH:-/tmp/benchlab}
ns=${NS:-10,1000,10000,100000}
reps=${REPS:-3}

[ -d "$BENCH/corpus" ] || (cd "$lab" && ./make-corpus.sh)
[ -f "$BENCH/sigs/expected.tsv" ] || (cd "$lab" && ./prepare.sh)

cmake --preset bench >/dev/null
cmake --build --preset bench --target plan_bench kvdtool >/dev/null
for preset in windows-x64-bench:x86_64 windows-x86-bench:i686; do
  cmake --preset "${preset%%:*}" >/dev/null
  scripts/wine-run.sh --prepare "${preset#*:}" "build/${preset%%:*}"
  cmake --build --preset "${preset%%:*}" --target plan_bench kvdtool >/dev/null
done
status=0
python3 bench/windows_corpus.py --ns "$ns" --reps "$reps" || status=$?
for preset in windows-x64-bench:x86_64 windows-x86-bench:i686; do
  scripts/wine-run.sh --stop "${preset#*:}" "build/${preset%%:*}"
done
exit "$status"
