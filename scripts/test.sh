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
  cmake --build "build/${preset}" -j2
  echo "=== ${preset} tests"
  if [ "${preset}" = fuzz ]; then
    ctest --test-dir "build/${preset}" -L fuzz --output-on-failure --timeout 600
  else
    ctest --test-dir "build/${preset}" -j2 --output-on-failure --timeout 600
  fi
done
