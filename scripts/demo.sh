#!/usr/bin/env bash
# The main job: installs what the project needs, builds the module, the host stand-in and the
# OBS Remote simulator, starts the simulator on localhost:4444 (password "admin"), and runs
# the demo script in the host. Exits 0 only when every step of the demo worked.
# With --obs-studio the same tour runs against a real headless OBS Studio over obs-websocket 5
# (scripts/run-demo-obs-studio.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --obs-studio ]; then
  scripts/setup.sh --obs-studio
  cmake --preset default >/dev/null
  cmake --build build/default -j2 --target HVEOBSRemote havenhost
  exec scripts/run-demo-obs-studio.sh build/default
fi

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2 --target HVEOBSRemote havenhost obsremote-sim

exec scripts/run-demo.sh build/default
