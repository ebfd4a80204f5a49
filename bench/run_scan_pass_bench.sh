#!/usr/bin/env bash
# Builds the interpreter benchmark in Release and runs it. Extra arguments go to the
# benchmark (for example --benchmark_filter=5242880).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target scan_pass_bench
exec build/bench/bin/scan_pass_bench "$@"
