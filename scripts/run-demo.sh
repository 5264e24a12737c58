#!/usr/bin/env bash
# Runs the demo against built binaries: starts the OBS Remote simulator on localhost:4444
# (password "admin"), runs demo/demo.script in the host stand-in with the module, restarts the
# simulator (ended and started again on its port, keeping its salt as OBS does) when the
# script asks for it, and checks that the stream start made exactly one announcement. Exits 0
# only when every step worked.
# Usage: scripts/run-demo.sh [BUILD_DIR]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/demo-verdict.sh

bin=${1:-build/default}
module="$bin/shell/HVEOBSRemote.so"
host="$bin/platform/haven/havenhost"
simulator="$bin/tools/simulator/obsremote-sim"

work=$(mktemp -d)
simulator_pid=""
host_pid=""
cleanup() {
  if [ -n "$host_pid" ]; then
    kill "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  if [ -n "$simulator_pid" ]; then
    kill "$simulator_pid" 2>/dev/null || true
    wait "$simulator_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The host's root folder holds the stream-info file that a stream start announces.
cp -r platform/haven/example-root "$work/root"
rm -rf "$work/root/Settings"

start_simulator() {
  "$simulator" --port 4444 --password admin --scenes tools/simulator/scenes.example.json \
    --salt-file "$work/salt" --log "$work/requests.log" </dev/null >"$work/simulator.out" 2>&1 &
  simulator_pid=$!
  # Wait (up to 10 s) for the simulator to listen; fail clearly when the port is taken.
  for _ in $(seq 100); do
    if grep -q '^listening on' "$work/simulator.out"; then break; fi
    if ! kill -0 "$simulator_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if ! grep -q '^listening on' "$work/simulator.out"; then
    echo "demo: the OBS Remote simulator did not start (is port 4444 in use?):" >&2
    cat "$work/simulator.out" >&2
    exit 1
  fi
  echo "demo: $(head -n 1 "$work/simulator.out")"
}

start_simulator

"$host" --module "$module" --root "$work/root" --http-log "$work/http.log" \
  --script demo/demo.script >"$work/host.out" 2>&1 &
host_pid=$!
tail -n +1 -f --pid="$host_pid" "$work/host.out" &
tail_pid=$!

# OBS restarts when the script asks: the simulator ends and starts again with its salt.
restarted=0
while kill -0 "$host_pid" 2>/dev/null; do
  if [ "$restarted" = 0 ] && grep -q '^--- restarting OBS now' "$work/host.out"; then
    kill "$simulator_pid"
    wait "$simulator_pid" 2>/dev/null || true
    echo "demo: OBS ended; starting it again"
    start_simulator
    restarted=1
  fi
  sleep 0.1
done
status=0
wait "$host_pid" || status=$?
wait "$tail_pid" 2>/dev/null || true

echo
echo "demo: requests the simulator received:"
sed 's/^/  /' "$work/requests.log"
demo_verdict "$status" "$work/http.log"
