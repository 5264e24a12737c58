#!/usr/bin/env bash
# Installs what the project needs, then builds and runs the whole test suite in the normal,
# AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer builds, plus a short run of
# the fuzz targets. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=("${@:-default asan tsan fuzz}")
# shellcheck disable=SC2206
presets=(${presets[*]})

for preset in "${presets[@]}"; do
  echo "=== ${preset} build"
  cmake --preset "${preset}" >/dev/null
  if [ "${preset}" = fuzz ]; then
    # Only the fuzz targets need the clang build; they run a short, fixed number of inputs.
    cmake --build "build/${preset}" -j2 --target receive_fuzzer
    echo "=== ${preset} tests"
    ctest --test-dir "build/${preset}" -R '^fuzz\.' --output-on-failure --timeout 600
  else
    cmake --build "build/${preset}" -j2
    echo "=== ${preset} tests"
    ctest --test-dir "build/${preset}" -j2 --output-on-failure --timeout 600
  fi
done
