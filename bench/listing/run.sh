#!/usr/bin/env bash
# Peak resident memory of one huge listing through the FTP layer
# (bench_ftplayer list), served by the tests' fault server as LIST and as
# MLSD lines; a 10-entry listing first gives the process's own size.
#
#   bench/listing/run.sh [ENTRIES]     default 1000000 (the layer's bound)
#
# Prints one line per listing: "LIST 1000000: bytes=... entries=... seconds=... rss_kb=...".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
bin=${BENCH_BIN:-$top/build/bench/ftplayer/bench_ftplayer}
[[ -x "$bin" ]] || cmake --build "$top/build" --target bench_ftplayer >/dev/null
entries=${1:-1000000}

measure() { # FEATURES NAME COUNT
  coproc server {
    exec /usr/bin/python3 "$top/tests/ftp/fault_server.py" --entries "$3" list-many "$1"
  }
  local word port
  read -r word port <&"${server[0]}"
  echo "$2 $3: $("$bin" list "127.0.0.1:$port" user pw /)"
  kill "$server_PID"
  wait "$server_PID" 2>/dev/null || true
}

measure SIZE,EPSV LIST 10
measure SIZE,EPSV LIST "$entries"
measure SIZE,EPSV,MLST MLSD "$entries"
