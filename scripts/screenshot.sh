#!/usr/bin/env bash
# Renders the main window to a PNG without a screen (offscreen platform),
# showing the demo server's top folder listed in the details view.
#   bash scripts/screenshot.sh [FILE.png]      default: build/screenshot.png
# Uses a throw-away settings and data folder: the user's own are not touched.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/build/screenshot.png}")
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh"
mkdir -p "$(dirname "$out")"

state=$(mktemp -d)
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$state"
}
trap cleanup EXIT

mkdir -p "$state/config" "$state/data" "$state/tmp"
mkdir -m 700 "$state/runtime"
/usr/bin/python3 "$top/scripts/demo_server.py" --data-home "$state/data" \
  --port-file "$state/port" --parent-pid $$ >/dev/null &
server_pid=$!
for _ in $(seq 100); do
  [[ -s "$state/port" ]] && break
  kill -0 "$server_pid" 2>/dev/null || { echo "The demo FTP server did not start." >&2; exit 1; }
  sleep 0.1
done
[[ -s "$state/port" ]] || { echo "The demo FTP server did not start in time." >&2; exit 1; }

XDG_CONFIG_HOME="$state/config" XDG_DATA_HOME="$state/data" TMPDIR="$state/tmp" \
  XDG_RUNTIME_DIR="$state/runtime" QT_QPA_PLATFORM=offscreen \
  "$top/build/vrex" --screenshot "$out"
[[ -s "$out" ]] || { echo "No picture was written to $out" >&2; exit 1; }
