#!/usr/bin/env bash
# Runs a real OBS Studio (Debian 12: 29.0.2 with obs-websocket 5.1.0) headless, as the peer of
# the end-to-end tests and of the second demo:
#
#   scripts/obs-studio.sh [-- command args...]
#
# Every run starts from nothing: a private network namespace (so port 4455 and the RTMP sink's
# 1935 never meet anyone else's), a fresh temporary home with OBS's configuration written by
# this script, Xvfb on a free display with software OpenGL, a local RTMP sink (ffmpeg) for
# streaming, and OBS itself. Once obs-websocket accepts connections the command runs inside the
# namespace with these variables set:
#
#   HVE_OBS_PORT      obs-websocket's port (4455)
#   HVE_OBS_PASSWORD  its password
#   HVE_OBS_DIR       the run's temporary folder (OBS's log is obs.out there)
#   HVE_OBS_START     a script that starts OBS again after it quit, and waits for its port
#   HVE_OBS_PIDFILE   holds the running OBS's process id (SIGINT makes it quit cleanly)
#
# Afterwards everything started here is ended by its process id and the folder is removed; the
# script exits with the command's status. Without a command it prints the ready line and waits
# for SIGTERM. Settings: HVE_OBS_PASSWORD, HVE_OBS_KEEP_DIR=1 (keep the folder),
# HVE_OBS_READY_TIMEOUT (seconds, 60).
set -euo pipefail

if [[ -z "${_HVE_OBS_NETNS:-}" ]]; then
  if [[ $(id -u) == 0 ]]; then ns=(unshare -n); else ns=(unshare -rn); fi
  exec env _HVE_OBS_NETNS=1 "${ns[@]}" -- bash "$0" "$@"
fi
ip link set lo up

if [[ "${1:-}" == "--" ]]; then shift; fi
log() { printf 'obs-studio: %s\n' "$*" >&2; }
# 77: the test runner's "skipped", for machines without OBS Studio.
for c in obs Xvfb; do
  command -v "$c" >/dev/null || { log "missing $c: run scripts/setup.sh --obs-studio"; exit 77; }
done

PORT=4455
PASSWORD=${HVE_OBS_PASSWORD:-obs-test-password}
READY_TIMEOUT=${HVE_OBS_READY_TIMEOUT:-60}
DIR=$(mktemp -d -t hve-obs.XXXXXX)
export HOME="$DIR/home" XDG_CONFIG_HOME="$DIR/home/.config" XDG_CACHE_HOME="$DIR/home/.cache" \
       XDG_DATA_HOME="$DIR/home/.local/share" XDG_RUNTIME_DIR="$DIR/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$DIR/rec"
mkdir -m 700 "$XDG_RUNTIME_DIR"
CFG="$XDG_CONFIG_HOME/obs-studio"
mkdir -p "$CFG/basic/profiles/Test" "$CFG/basic/scenes"
unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER WAYLAND_DISPLAY
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11

# OBS 29.0 writes FirstRun=true once its first start is over; false or absent brings up the
# set-up wizard. obs-websocket 5.1 keeps its settings in [OBSWebSocket] of global.ini, and a
# missing FirstLoad=false makes it invent a password of its own. The preview is off: software
# rendering of it costs a tenth of a core.
cat >"$CFG/global.ini" <<EOF
[General]
Pre19Defaults=false
Pre21Defaults=false
Pre23Defaults=false
Pre24.1Defaults=false
FirstRun=true
LastVersion=486539266
ConfirmOnExit=false
EnableAutoUpdates=false

[BasicWindow]
SysTrayEnabled=false
SysTrayWhenStarted=false
WarnBeforeStartingStream=false
WarnBeforeStoppingStream=false
WarnBeforeStoppingRecord=false
ShowTransitions=false
PreviewEnabled=false

[Basic]
Profile=Test
ProfileDir=Test
SceneCollection=Test
SceneCollectionFile=Test

[OBSWebSocket]
FirstLoad=false
ServerEnabled=true
ServerPort=$PORT
AlertsEnabled=false
AuthRequired=true
ServerPassword=$PASSWORD
EOF

cat >"$CFG/basic/profiles/Test/basic.ini" <<EOF
[General]
Name=Test

[Video]
BaseCX=640
BaseCY=360
OutputCX=640
OutputCY=360
FPSType=1
FPSInt=30
ScaleType=bilinear

[Audio]
SampleRate=48000
ChannelSetup=Stereo

[Output]
Mode=Simple

[SimpleOutput]
FilePath=$DIR/rec
RecFormat=mkv
RecQuality=Stream
StreamEncoder=x264
RecEncoder=x264
Preset=ultrafast
VBitrate=300
ABitrate=64
EOF

cat >"$CFG/basic/profiles/Test/service.json" <<'EOF'
{"type": "rtmp_custom", "settings": {"server": "rtmp://127.0.0.1:1935/live", "key": "test", "use_auth": false, "bwtest": false}}
EOF

# Scene collection "Test", listed in OBS as Scene 1, Scene 2, Scene 3. Scene items are
# {name, visible, pos}; OBS fills in everything left out. The two global audio slots give OBS
# its desktop and microphone inputs even without a sound server.
item() { printf '{"id":%s,"name":"%s","visible":%s,"pos":{"x":%s,"y":%s},"scale":{"x":1.0,"y":1.0},"align":5}' "$@"; }
scene() { printf '{"name":"%s","id":"scene","versioned_id":"scene","settings":{"id_counter":%s,"items":[%s]}}' "$@"; }
colour() { printf '{"name":"%s","id":"color_source_v3","versioned_id":"color_source_v3","settings":{"color":%s,"width":640,"height":360}}' "$@"; }
text() { printf '{"name":"%s","id":"text_ft2_source_v2","versioned_id":"text_ft2_source_v2","settings":{"text":"%s","font":{"face":"DejaVu Sans","style":"Book","size":48,"flags":0}}}' "$@"; }
audio() { printf '{"name":"%s","id":"%s","versioned_id":"%s","settings":{"device_id":"default"}}' "$1" "$2" "$2"; }
cat >"$CFG/basic/scenes/Test.json" <<EOF
{"name":"Test","current_scene":"Scene 1","current_program_scene":"Scene 1",
 "current_transition":"Cut","transition_duration":300,"transitions":[],"groups":[],
 "scene_order":[{"name":"Scene 1"},{"name":"Scene 2"},{"name":"Scene 3"}],
 "quick_transitions":[],"saved_projectors":[],"modules":{},
 "sources":[
  $(scene "Scene 1" 2 "$(item 1 Red true 0.0 0.0),$(item 2 Title true 20.0 20.0)"),
  $(scene "Scene 2" 3 "$(item 1 Blue true 0.0 0.0),$(item 2 Subtitle true 20.0 200.0),$(item 3 "Scene 3" false 0.0 0.0)"),
  $(scene "Scene 3" 2 "$(item 1 Green true 0.0 0.0),$(item 2 Title true 20.0 120.0)"),
  $(colour Red 4278190335), $(colour Blue 4294901760), $(colour Green 4278255360),
  $(text Title "Hello from headless OBS"), $(text Subtitle "second scene")],
 "DesktopAudioDevice1":$(audio "Desktop Audio" pulse_output_capture),
 "AuxAudioDevice1":$(audio "Mic/Aux" pulse_input_capture)}
EOF

# An OBS started again by a test is nobody's child here: once it ends it may linger as a
# zombie until the system reaps it, so "alive" means a process that is not a zombie.
alive() { local state; state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ "$state" != Z* ]]; }

PIDS=()
cleanup() {
  local rc=$? pid i
  trap - EXIT INT TERM
  # SIGINT is OBS's clean exit (it closes its WebSocket sessions); SIGTERM would kill it at once.
  pid=$(cat "$DIR/obs.pid" 2>/dev/null || true)
  if [[ -n "$pid" ]] && alive "$pid"; then
    kill -INT "$pid" 2>/dev/null || true
    for _ in $(seq 150); do alive "$pid" || break; sleep 0.1; done
    if alive "$pid"; then
      log "OBS did not quit in 15 s: killing it"
      kill -KILL "$pid" 2>/dev/null || true
      for _ in $(seq 50); do alive "$pid" || break; sleep 0.1; done
    fi
  fi
  for (( i=${#PIDS[@]}-1; i>=0; i-- )); do kill "${PIDS[$i]}" 2>/dev/null || true; done
  for (( i=${#PIDS[@]}-1; i>=0; i-- )); do wait "${PIDS[$i]}" 2>/dev/null || true; done
  if [[ "${HVE_OBS_KEEP_DIR:-0}" == 1 ]]; then log "kept $DIR"; else rm -rf "$DIR"; fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The RTMP sink takes one publisher and ends with it; the loop takes the next stream.
if command -v ffmpeg >/dev/null; then
  ( sink=""; trap '[[ -n "$sink" ]] && { kill "$sink"; wait "$sink"; } 2>/dev/null; exit 0' TERM
    n=0
    while :; do
      n=$((n + 1))
      ffmpeg -nostdin -loglevel error -listen 1 -i rtmp://127.0.0.1:1935/live/test \
        -c copy -f flv -y "$DIR/rec/stream-$n.flv" >>"$DIR/rtmp.log" 2>&1 &
      sink=$!
      wait "$sink" || sleep 0.5
    done ) &
  PIDS+=($!)
else
  log "no ffmpeg: streams have nowhere to go"
fi

Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset 5>"$DIR/display" 2>"$DIR/xvfb.log" &
PIDS=("$!" "${PIDS[@]}")
for _ in $(seq 100); do [[ -s "$DIR/display" ]] && break; sleep 0.1; done
[[ -s "$DIR/display" ]] || { log "Xvfb did not start (see $DIR/xvfb.log)"; exit 1; }
export DISPLAY=":$(head -n1 "$DIR/display")"

# Starting OBS is a script of its own, so that a test can bring OBS back after making it quit.
# --multi: no "already running" question; --disable-missing-files-check: no dialog.
cat >"$DIR/start-obs" <<EOF
#!/usr/bin/env bash
set -u
obs --multi --disable-missing-files-check --disable-updater --minimize-to-tray \\
    --profile Test --collection Test </dev/null >>"$DIR/obs.out" 2>&1 &
echo \$! >"$DIR/obs.pid"
deadline=\$(( \$(date +%s) + $READY_TIMEOUT ))
until (exec 3<>/dev/tcp/127.0.0.1/$PORT) 2>/dev/null; do
  kill -0 "\$(cat "$DIR/obs.pid")" 2>/dev/null || { echo "obs-studio: OBS ended early (see $DIR/obs.out)" >&2; exit 1; }
  (( \$(date +%s) < deadline )) || { echo "obs-studio: port $PORT not open after ${READY_TIMEOUT} s" >&2; exit 1; }
  sleep 0.1
done
EOF
chmod +x "$DIR/start-obs"
"$DIR/start-obs"

export HVE_OBS_PORT=$PORT HVE_OBS_PASSWORD=$PASSWORD HVE_OBS_DIR=$DIR \
       HVE_OBS_START="$DIR/start-obs" HVE_OBS_PIDFILE="$DIR/obs.pid"
echo "obs-studio: ready on port $PORT (obs pid $(cat "$DIR/obs.pid"), namespace pid $$, folder $DIR)" >&2

if (( $# > 0 )); then
  set +e; "$@"; rc=$?; set -e
  exit "$rc"
fi
log "join with: nsenter -t $$ -n <command>; stop with: kill $$"
while :; do sleep 1 & wait $! || true; done
