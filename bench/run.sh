#!/usr/bin/env bash
# Builds the program and the benchmark programs in their own build directory and runs
# every benchmark; each prints its figures as ratios against a floor measured in the
# same run. Not part of the test suite.
#
#   bench/run.sh [BUILD_DIR]      default: build-bench
#
# The figures are timings: run on a quiet machine (nothing else compiling) and compare
# ratios rather than absolute numbers across machines.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(keyvora)
for source in bench/*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" --target "${targets[@]}" -j"${KV_BENCH_JOBS:-2}" >/dev/null
echo "== $(git rev-parse --short HEAD 2>/dev/null || echo unknown) $(date -u +%Y-%m-%dT%H:%MZ)" \
  "on $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
"$build"/bench/bench_login_fill
echo
"$build"/bench/bench_add_record
echo
"$build"/bench/bench_process
echo
"$build"/bench/bench_start_parts
