#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them in a scratch directory of
# their own; arguments go to the benchmark binary, e.g.
#   ./bench.sh --benchmark_format=json
#   ./bench.sh --benchmark_filter=BM_Repair --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

# Build output goes to standard error: standard output is the report.
cmake --preset bench >&2
cmake --build --preset bench --target quiverleaf_bench >&2

binary=$PWD/build/bench/bench/quiverleaf_bench
run=build/bench/run
rm -rf "$run"
mkdir -p "$run"
cd "$run"
exec "$binary" "$@"
