#!/usr/bin/env bash
# Installs what the project needs, then builds and runs the whole test suite in the normal,
# AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer builds, a short run of the
# fuzz targets, the end-to-end suite against a real headless OBS Studio (normal and
# ASan+UBSan builds), and the Windows build (MinGW-w64) with its suite under Wine. Exits
# non-zero on the first failure. Name stages to run only those: scripts/test.sh default asan.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=("${@:-default asan tsan fuzz obs-studio windows}")
# shellcheck disable=SC2206
presets=(${presets[*]})

for preset in "${presets[@]}"; do
  if [ "${preset}" = obs-studio ]; then
    # scripts/obs-studio.sh gives each run its own OBS in its own network namespace.
    scripts/setup.sh --obs-studio
    for build in default asan; do
      echo "=== obs-studio tests (${build} build)"
      cmake --preset "${build}" >/dev/null
      cmake --build "build/${build}" -j2 --target HVEOBSRemote obs_studio_test
      ctest --test-dir "build/${build}" -L obs-studio --output-on-failure --timeout 600
    done
    continue
  fi
  if [ "${preset}" = windows ]; then
    echo "=== windows build and tests under Wine"
    scripts/build-windows.sh --test
    continue
  fi
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
    ctest --test-dir "build/${preset}" -j2 -LE obs-studio --output-on-failure --timeout 600
  fi
done
