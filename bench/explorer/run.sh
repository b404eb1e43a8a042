#!/bin/bash
# Explorer benchmark: opening folders of 20,000, 80,000 and 200,000 entries in
# the window against the session component's bare listing, reopening them from
# the map (name order and size order), the window's responsiveness meanwhile,
# and memory per mapped entry. VREX_BENCH_SIZES and VREX_BENCH_ROUNDS narrow it.
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
