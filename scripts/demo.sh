#!/usr/bin/env bash
# The main job: installs what the project needs, builds the module, the host stand-in and the
# OBS Remote simulator, starts the simulator on localhost:4444 (password "admin"), and runs
# the demo script in the host. Exits 0 only when every step of the demo worked.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2 --target HVEOBSRemote havenhost obsremote-sim

exec scripts/run-demo.sh build/default
