#!/usr/bin/env bash
# Builds the normal configuration and runs every benchmark, each printing its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2
for bench in build/default/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "=== $(basename "$bench")"
  "$bench"
done
