#!/usr/bin/env bash
# Runs the whole test suite again and again on a busy machine, to find tests
# that pass only when they have the machine to themselves.
#
#   bash scripts/stress-tests.sh [RUNS] [MODE...]
#
# RUNS defaults to 10; MODE is one or both of (default: both, in this order)
#   pinned    every test on core 0 (taskset -c 0) beside one busy loop on core 0
#   parallel  ctest -j2 beside two busy loops
# Build first (scripts/build.sh). Each run's log goes to build/stress/. Prints
# one line per mode with its pass and fail counts and the tests that failed;
# exits non-zero if any run failed.
set -uo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
runs=${1:-10}
[ $# -gt 0 ] && shift
modes=("$@")
[ ${#modes[@]} -eq 0 ] && modes=(pinned parallel)

if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [RUNS] [pinned] [parallel]" >&2
    exit 2
fi
for mode in "${modes[@]}"; do
    case "$mode" in
    pinned | parallel) ;;
    *) echo "unknown mode: $mode (pinned or parallel)" >&2; exit 2 ;;
    esac
done
if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "no build in $build: run scripts/build.sh first" >&2
    exit 2
fi
command -v taskset >/dev/null || { echo "taskset is missing (package util-linux)" >&2; exit 2; }

busy=()
stop_busy() {
    local pid
    for pid in "${busy[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT TERM

# A loop that keeps one core busy; on the given core when one is named.
start_busy() {
    if [ -n "${1:-}" ]; then
        taskset -c "$1" bash -c 'while :; do :; done' &
    else
        bash -c 'while :; do :; done' &
    fi
    busy+=($!)
}

run_suite() {
    local mode=$1 log=$2
    (
        cd "$build" || exit 1
        if [ "$mode" = pinned ]; then
            taskset -c 0 ctest --output-on-failure
        else
            ctest -j2 --output-on-failure
        fi
    ) >"$log" 2>&1
}

mkdir -p "$build/stress"
status=0
summary=()
for mode in "${modes[@]}"; do
    if [ "$mode" = pinned ]; then
        start_busy 0
    else
        start_busy
        start_busy
    fi
    passed=0 failed=0 failures=()
    for ((i = 1; i <= runs; i++)); do
        log="$build/stress/$mode-$i.log"
        if run_suite "$mode" "$log"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            # ctest lists the failed tests as "  NN - name (Failed)" at the end.
            while read -r name; do
                failures+=("$name#$i")
            done < <(sed -n '/The following tests FAILED:/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p')
        fi
        echo "$mode run $i/$runs: $(tail -n 40 "$log" | grep -m1 'tests passed' || echo 'no ctest summary, see '"$log")"
    done
    stop_busy
    line="$mode: $passed passed, $failed failed"
    [ ${#failures[@]} -gt 0 ] && line+=" (${failures[*]})"
    summary+=("$line")
    [ "$failed" -gt 0 ] && status=1
done
printf '%s\n' "${summary[@]}"
exit $status
