#!/usr/bin/env bash
# One command for the corpus comparison: sets up the bench lab beside the project if it is
# not there yet (the peers, the corpus of real Windows programs, the signature sets), times
# the peers with the lab's own script, then Korvax in the same session, and prints the
# table. Run it on an otherwise idle machine; it takes about 20 minutes (the peers' 100,000
# rules are compiled once, which alone takes minutes).
#
#   bench/corpus_compare.sh            (BENCH=/tmp/benchlab by default; REPS=3)
#   NS=10,1000 bench/corpus_compare.sh (fewer signature sets)
set -euo pipefail
cd "$(dirname "$0")/.."
lab=$(cd ../shared/bench-lab && pwd)
export BENCH=${BENCH:-/tmp/benchlab}
ns=${NS:-10,1000,10000,100000}
reps=${REPS:-3}

missing=()
for tool in clamscan yara yarac bc; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q clamav yara bc time >/dev/null
fi
[ -x /usr/bin/time ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -q time >/dev/null
[ -d "$BENCH/corpus" ] || (cd "$lab" && ./make-corpus.sh)
[ -f "$BENCH/sigs/expected.tsv" ] || (cd "$lab" && ./prepare.sh)

cmake --preset default >/dev/null
cmake --build --preset default --target kvdtool korvax-scan cpudll >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target plan_bench >/dev/null

rm -f "$BENCH/results/runs.jsonl"
(cd "$lab" && python3 run-peers.py --reps "$reps" --cases cat,clamraw,yarau32c --ns "$ns" --u32-ns "$ns")
python3 bench/corpus_compare.py --bin build/default/bin --bench-bin build/bench/bin --ns "$ns" --reps "$reps"
