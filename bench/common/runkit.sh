# Sourced by the window benchmarks' run.sh once SRC names the source tree:
# what their runs share besides the servers (servers.sh, sourced here too).
#   window_bench NAME [BUILD_DIR] -> build, bench (its bench_NAME) and work (a
#                       fresh temporary folder under WORK_PARENT, default /tmp;
#                       it and the servers go at exit);
#                       stops the script when the program or lftp is missing
#   log TEXT...       -> standard error
#   seconds_between START END -> END - START as "%.3f"
#   same_tree A B     -> "ok" when the trees match byte for byte and name for
#                       name, else "WRONG" (the first differences on stderr)
#   read_case LINE    -> server host login pass root url; "-" and "''" are empty
#   field KEY         -> the value of KEY=... in the line on standard input
#   load_average      -> the first three figures of /proc/loadavg
#   lftp_base         -> lftp's settings for every run
. "$SRC/bench/common/servers.sh"

lftp_base="set ftp:ssl-allow no; set net:max-retries 1; set cmd:fail-exit yes"

window_bench() {
    build=$(cd "${2:-$SRC/build}" && pwd)
    bench=$build/bench/$1/bench_$1
    [ -x "$bench" ] || { echo "build bench_$1 first" >&2; exit 1; }
    command -v lftp >/dev/null || { echo "lftp is missing" >&2; exit 1; }
    work=$(mktemp -d "${WORK_PARENT:-/tmp}/vrex-$1-bench.XXXXXX")
    chmod 755 "$work"
    trap 'stop_servers "$work"; rm -rf "$work"' EXIT
}
log() { echo "$*" >&2; }
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
same_tree() { diff -rq "$1" "$2" >"$work/diff.txt" 2>&1 && echo ok || { head -3 "$work/diff.txt" >&2; echo WRONG; }; }
read_case() {
    read -r server host login pass root url <<<"$1"
    [ "$login" = - ] && login=
    [ "$pass" = - ] && pass=
    [ "$root" = "''" ] && root=
    return 0
}
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p"; }
load_average() { cut -d" " -f1-3 /proc/loadavg; }
