#!/usr/bin/env bash
# Installs what is missing, builds, and runs Vrex Explorer together with a
# local read-only demo FTP server, so there is something to browse on a fresh
# machine. The server stops when the program does. Arguments go to the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<'MSG'
Vrex Explorer is built, but there is no screen to show its window on:
neither DISPLAY nor WAYLAND_DISPLAY is set. Start it from a desktop session,
or on a virtual screen with:

    xvfb-run -a bash scripts/run.sh

To see the window without a screen, make a picture of it instead:

    bash scripts/screenshot.sh
MSG
  exit 2
fi

state=$(mktemp -d)
server_pid=""
app_pid=""
stop_all() {
  local pid
  for pid in "$app_pid" "$server_pid"; do
    [[ -n "$pid" ]] || continue
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$state"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Debian's python3 has pyftpdlib; another python3 earlier on PATH may not.
/usr/bin/python3 "$top/scripts/demo_server.py" --port-file "$state/port" --parent-pid $$ &
server_pid=$!
for _ in $(seq 100); do
  [[ -s "$state/port" ]] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -s "$state/port" ]]; then
  echo "The demo FTP server did not start; Vrex Explorer runs without it." >&2
  server_pid=""
fi

# In the background so that a signal to this script ends the program too:
# bash runs its traps during "wait", but not while a foreground child runs.
"$top/build/vrex" "$@" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=""
exit "$status"
