#!/bin/bash
# Session benchmark: download and upload through TWinInetFTP against curl,
# over loopback, alternating, 3 rounds, medians.
#
#   bench/session/run.sh [BUILD_DIR] [SIZE_MIB...]      (sizes default: 256 1024)
#
# Servers: python3-pyftpdlib (download and upload); vsftpd (download, anonymous)
# when run as root with vsftpd installed. Prints one line per figure:
#   name: ours MB/s, peer MB/s, ratio R
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
shift || true
sizes=${*:-256 1024}
bench=$build/bench/session/bench_session
rounds=${ROUNDS:-3}
[ -x "$bench" ] || { echo "build bench_session first" >&2; exit 1; }

work=$(mktemp -d /tmp/vrex-session-bench.XXXXXX)
vs_pid=
cleanup() {
    /usr/bin/python3 "$src/tests/support/ftp_fixture.py" stop "$work/py" >/dev/null 2>&1 || true
    [ -n "$vs_pid" ] && kill "$vs_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 "$src/tests/support/ftp_fixture.py" start "$work/py" >/dev/null
py_port=$(cat "$work/py/port")
mkdir -p "$work/local"

start_vsftpd() {
    [ "$(id -u)" = 0 ] && [ -x /usr/sbin/vsftpd ] || return 1
    local port=$((20000 + RANDOM % 20000))
    mkdir -p "$work/vs/root" "$work/vs/empty"
    chmod 555 "$work/vs/root"
    cat >"$work/vs/vsftpd.conf" <<CONF
listen=YES
background=NO
listen_address=127.0.0.1
listen_port=$port
pasv_enable=YES
pasv_min_port=$((port + 1))
pasv_max_port=$((port + 50))
pasv_address=127.0.0.1
anonymous_enable=YES
local_enable=NO
anon_root=$work/vs/root
no_anon_password=YES
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
secure_chroot_dir=$work/vs/empty
CONF
    /usr/sbin/vsftpd "$work/vs/vsftpd.conf" &
    vs_pid=$!
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && { vs_port=$port; return 0; }
        sleep 0.1
    done
    return 1
}
vs_port=
start_vsftpd || echo "# vsftpd skipped (needs root and vsftpd)"

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# ours KIND HOST USER PASS REMOTE LOCAL BATCH -> "mbps p99 rss"
ours() {
    local out
    out=$("$bench" "$@") || { echo "bench_session failed: $out" >&2; exit 1; }
    echo "$(echo "$out" | field mbps) $(echo "$out" | field p99ms) $(echo "$out" | field rssmb)"
}

report() { # name ours peer
    awk -v n="$1" -v o="$2" -v p="$3" 'BEGIN {printf "%s: ours %.1f MB/s, curl %.1f MB/s, ratio %.2f\n", n, o, p, o / p}'
}

run_case() { # label dir host user pass size direction
    local label=$1 dir=$2 host=$3 user=$4 pass=$5 size=$6 dir_kind=$7
    local url="ftp://$host/big-$size.bin" auth=()
    [ -n "$user" ] && auth=(--user "$user:$pass")
    local b16=() b1=() raw=() peer=() p99_16=() p99_1=() rss=()
    for _ in $(seq "$rounds"); do
        for batch in 16 1; do
            if [ "$dir_kind" = get ]; then
                read -r m p r < <(ours get "$host" "$user" "$pass" "/big-$size.bin" "$work/local/ours.bin" $batch)
            else
                read -r m p r < <(ours put "$host" "$user" "$pass" "/up-$size.bin" "$work/local/src-$size.bin" $batch)
            fi
            if [ $batch = 16 ]; then b16+=("$m"); p99_16+=("$p"); rss+=("$r"); else b1+=("$m"); p99_1+=("$p"); fi
        done
        if [ "$dir_kind" = get ]; then
            read -r m p r < <(ours rawget "$host" "$user" "$pass" "/big-$size.bin" "$work/local/ours.bin" 1)
        else
            read -r m p r < <(ours rawput "$host" "$user" "$pass" "/up-$size.bin" "$work/local/src-$size.bin" 1)
        fi
        raw+=("$m")
        if [ "$dir_kind" = get ]; then
            s=$(curl -s --ftp-pasv "${auth[@]}" -o "$work/local/curl.bin" -w '%{speed_download}' "$url")
        else
            s=$(curl -s --ftp-pasv "${auth[@]}" -T "$work/local/src-$size.bin" -w '%{speed_upload}' "ftp://$host/up-curl-$size.bin")
        fi
        peer+=("$(awk -v s="$s" 'BEGIN {print s / 1e6}')")
        rm -f "$work/local/ours.bin" "$work/local/curl.bin"
    done
    local m16 m1 mp
    m16=$(printf '%s\n' "${b16[@]}" | median)
    m1=$(printf '%s\n' "${b1[@]}" | median)
    mp=$(printf '%s\n' "${peer[@]}" | median)
    report "$label $size MiB, 64 KiB hand-offs" "$m16" "$mp"
    report "$label $size MiB, 4 KiB hand-offs" "$m1" "$mp"
    report "$label $size MiB, layer alone" "$(printf '%s\n' "${raw[@]}" | median)" "$mp"
    echo "$label $size MiB ui p99 lateness: $(printf '%s\n' "${p99_16[@]}" | median) ms (64 KiB), $(printf '%s\n' "${p99_1[@]}" | median) ms (4 KiB)"
    echo "$label $size MiB peak resident: $(printf '%s\n' "${rss[@]}" | sort -g | tail -1) MB"
}

for size in $sizes; do
    head -c $((size << 20)) /dev/urandom >"$work/py/user/big-$size.bin"
    cp "$work/py/user/big-$size.bin" "$work/local/src-$size.bin"
    run_case "download pyftpdlib" "$work/py/user" "127.0.0.1:$py_port" vrex secret "$size" get
    run_case "upload pyftpdlib" "$work/py/user" "127.0.0.1:$py_port" vrex secret "$size" put
    rm -f "$work/py/user/up-"*
    if [ -n "$vs_port" ]; then
        chmod 755 "$work/vs/root"
        mv "$work/py/user/big-$size.bin" "$work/vs/root/"
        chmod 555 "$work/vs/root"
        run_case "download vsftpd" "$work/vs/root" "127.0.0.1:$vs_port" "" "" "$size" get
        chmod 755 "$work/vs/root"; rm -f "$work/vs/root/big-$size.bin"; chmod 555 "$work/vs/root"
    else
        rm -f "$work/py/user/big-$size.bin"
    fi
    rm -f "$work/local/src-$size.bin"
done
