#!/bin/bash
# TLS benchmark: a download and an upload of 1 GiB over explicit FTP over TLS,
# through the FTP layer (bench_ftplayer, the workers' 4 KiB calls), through the
# session component as the window runs it (bench_session), and through
# curl --ssl-reqd -k, against the same vsftpd requiring TLS with session reuse
# on its data connections, on loopback, in the same run. They take turns
# going first; every copy is compared byte for byte with its source. Needs
# root and vsftpd (vsftpd serves anonymous sessions as root).
#
#   bench/tls/run.sh [BUILD_DIR]
#
# ROUNDS (default 2) runs each case that many times and reports the median;
# SIZE_MB (default 1024) sizes the file. Everything lives in one temporary
# folder, removed at the end: in memory (/dev/shm) when it has room for three
# copies, so the disk's write-back does not decide the upload figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
SRC=$src
build=$(cd "${1:-$src/build}" && pwd)
bench=$build/bench/ftplayer/bench_ftplayer
session=$build/bench/session/bench_session
rounds=${ROUNDS:-2}
size_mb=${SIZE_MB:-1024}
[ -x "$bench" ] || { echo "build bench_ftplayer first" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 1; }
. "$src/bench/common/servers.sh"

parent=/tmp
if (( $(df --output=avail -k /dev/shm 2>/dev/null | tail -1 || echo 0) > size_mb * 1024 * 3 + 65536 )); then
    parent=/dev/shm
fi
work=$(mktemp -d "$parent/vrex-tls-bench.XXXXXX")
chmod 755 "$work"
cleanup() {
    stop_servers "$work"
    rm -rf "$work"
}
trap cleanup EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj "/CN=Vrex bench" -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
data=$work/data
mkdir -p "$data" "$work/out"
echo "# preparing $size_mb MiB of random data" >&2
head -c $((size_mb << 20)) /dev/urandom >"$data/big.bin"
chmod -R a+rX "$data"
start_vsftpd_tls "$work" "$data" "$work/cert.pem" "$work/key.pem"
[ -n "$vs_port" ] || exit 1
host=127.0.0.1:$vs_port url=ftp://127.0.0.1:$vs_port

log() { echo "$*" >&2; }
same() { cmp -s "$1" "$2" && echo ok || echo WRONG; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

# run TOOL DIRECTION ROUND -> appends "seconds verified" to $work/res/DIRECTION.TOOL
run() {
    local tool=$1 dir=$2 n=$3 start s status=ok target
    rm -f "$work/out/down.bin" "$data/incoming/"*.bin
    sync
    start=$(now)
    if [ "$dir" = get ] && [ "$tool" = vrex ]; then
        VREX_BENCH_TLS=1 "$bench" get "$host" "" "" /big.bin "$work/out/down.bin" >"$work/tool.out" 2>&1 || status=failed
    elif [ "$tool" = session ]; then
        # The whole session component, as the window's transfers run.
        if [ "$dir" = get ]; then set -- get /big.bin "$work/out/down.bin"; else set -- put /incoming/up.bin "$data/big.bin"; fi
        VREX_BENCH_TLS=1 "$session" "$1" "$host" "" "" "$2" "$3" 16 >"$work/tool.out" 2>&1 || status=failed
    elif [ "$dir" = get ]; then
        curl -s --ssl-reqd -k "$url/big.bin" -o "$work/out/down.bin" >"$work/tool.out" 2>&1 || status=failed
    elif [ "$tool" = vrex ]; then
        VREX_BENCH_TLS=1 "$bench" put "$host" "" "" "$data/big.bin" /incoming/up.bin >"$work/tool.out" 2>&1 || status=failed
    else
        curl -s --ssl-reqd -k -T "$data/big.bin" "$url/incoming/up.bin" >"$work/tool.out" 2>&1 || status=failed
    fi
    s=$(since "$start")
    [ "$dir" = get ] && target=$work/out/down.bin || target=$data/incoming/up.bin
    [ "$status" = ok ] && status=$(same "$data/big.bin" "$target")
    [ "$status" = ok ] || sed 's/^/#   /' "$work/tool.out" | head -5 >&2
    log "#   round $n $dir $tool: ${s} s, bytes $status $(grep -o 'protocol=[^ ]*' "$work/tool.out" || true)"
    echo "$s $status" >>"$work/res/$dir.$tool"
}

mkdir -p "$work/res"
load_before=$(cut -d" " -f1-3 /proc/loadavg)
for n in $(seq "$rounds"); do
    for dir in get put; do
        if (( n % 2 )); then run vrex "$dir" "$n"; run session "$dir" "$n"; run curl "$dir" "$n"
        else run curl "$dir" "$n"; run session "$dir" "$n"; run vrex "$dir" "$n"; fi
    done
done
load_after=$(cut -d" " -f1-3 /proc/loadavg)

best() { grep ' ok$' "$1" 2>/dev/null | cut -d' ' -f1 | sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]}'; }
echo
echo "TLS benchmark: $rounds round(s) of $size_mb MiB each way, vsftpd (TLS required, session reuse) on loopback"
echo "files in $parent; load average before: $load_before; after: $load_after"
printf '%-19s %8s %8s %10s %10s %6s  %s\n' direction "vrex s" "curl s" "vrex MB/s" "curl MB/s" ratio goal
for dir in get put; do
  for tool in vrex session; do
    v=$(best "$work/res/$dir.$tool") c=$(best "$work/res/$dir.curl")
    awk -v d="$dir" -v t="$tool" -v v="${v:-n/a}" -v c="${c:-n/a}" -v b=$((size_mb << 20)) 'BEGIN {
        d = (d == "get" ? "download" : "upload") (t == "vrex" ? "" : " (session)")
        if (v == "n/a" || c == "n/a") { printf "%-19s %8s %8s   (a run failed: see the log above)\n", d, v, c; exit }
        r = c / v
        printf "%-19s %8.3f %8.3f %10.1f %10.1f %6.2f  %s\n", d, v, c,
            b / 1e6 / v, b / 1e6 / c, r, (r >= 0.9 ? "met (throughput >= 0.9x curl)" : "MISSED (throughput >= 0.9x curl)") }'
  done
done
echo "ratio: Vrex throughput / curl throughput (medians of good runs)"
