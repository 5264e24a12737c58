#!/usr/bin/env bash
# Runs demo/obs-studio.script in the host stand-in with the module against a real headless
# OBS Studio: scripts/obs-studio.sh starts OBS (password "admin") in its own network
# namespace and ends it afterwards. The extension's settings say "Protocol" =
# "obs-websocket". Exits 0 only when every step worked and the stream start was announced
# exactly once.
# Usage: scripts/run-demo-obs-studio.sh [BUILD_DIR]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/demo-verdict.sh

bin=$(cd "${1:-build/default}" && pwd)
if [[ -z "${HVE_OBS_PORT:-}" ]]; then
  HVE_OBS_PASSWORD=admin exec scripts/obs-studio.sh -- "$0" "$bin"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r platform/haven/example-root "$work/root"
rm -rf "$work/root/Settings"
mkdir -p "$work/root/Settings"
cat >"$work/root/Settings/HVEOBSRemote.xml" <<'XML'
<?xml version="1.0"?>
<Settings extension="HVEOBSRemote">
	<Setting name="Protocol">obs-websocket</Setting>
</Settings>
XML

status=0
"$bin/platform/haven/havenhost" --module "$bin/shell/HVEOBSRemote.so" --root "$work/root" \
  --http-log "$work/http.log" --script demo/obs-studio.script || status=$?

echo
demo_verdict "$status" "$work/http.log"
