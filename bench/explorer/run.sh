#!/bin/bash
# Explorer benchmark: opening a 20,000-entry folder in the window against the
# session component's bare listing, reopening it from the map, the window's
# responsiveness meanwhile, and memory with 100,000 mapped entries.
#
#   bench/explorer/run.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
bench=$build/bench/explorer/bench_explorer
[ -x "$bench" ] || { echo "build bench_explorer first" >&2; exit 1; }
work=$(mktemp -d /tmp/vrex-explorer-bench.XXXXXX)
trap '/usr/bin/python3 "$src/tests/support/ftp_fixture.py" stop "$work" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
/usr/bin/python3 "$src/tests/support/ftp_fixture.py" start "$work" >/dev/null
port=$(cat "$work/port")
"$bench" "127.0.0.1:$port" "$work/anon"
