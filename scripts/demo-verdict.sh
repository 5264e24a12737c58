# Sourced by the demo runners. demo_verdict STATUS HTTP_LOG lists the announcements the host
# handed to its HTTP service, requires exactly one (the demo starts one real stream) when the
# script itself worked, prints the verdict and exits with the resulting status.
demo_verdict() {
  local status=$1 http_log=$2 announcements
  echo "demo: announcements handed to the host's HTTP service:"
  if [ -s "$http_log" ]; then sed 's/^/  /' "$http_log"; else echo "  (none)"; fi
  announcements=$(grep -c . "$http_log" 2>/dev/null || true)
  if [ "$status" -eq 0 ] && [ "$announcements" != 1 ]; then
    echo "demo: expected exactly one stream announcement, saw ${announcements:-0}" >&2
    status=1
  fi
  if [ "$status" -eq 0 ]; then echo "demo: every step worked"; else echo "demo: FAILED" >&2; fi
  exit "$status"
}
