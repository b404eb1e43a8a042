#!/bin/bash
# Session benchmark: download and upload through TWinInetFTP against curl,
# over loopback, 3 rounds (ROUNDS), medians. Ours and curl take turns going
# first. The files live in memory (/dev/shm) when it has room for them, so
# the figures are the transfer's, not the disk's write-back.
#
#   bench/session/run.sh [BUILD_DIR] [SIZE_MIB...]      (sizes default: 256 1024)
#
# Servers: python3-pyftpdlib (download and upload); vsftpd (download, anonymous)
# when run as root with vsftpd installed. Prints one line per figure:
#   name: ours MB/s, peer MB/s, ratio R
# and the processor time (user + system) per GiB moved, which the machine's
# load does not blur:
#   name CPU per GiB: ours S s (64 KiB hand-offs), S s (layer alone), curl S s
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${1:-$src/build}
shift || true
sizes=${*:-256 1024}
bench=$build/bench/session/bench_session
rounds=${ROUNDS:-3}
[ -x "$bench" ] || { echo "build bench_session first" >&2; exit 1; }

# The largest size four times over (the server's copy, the upload's source
# and two downloaded copies), and some room.
largest=$(printf '%s\n' $sizes | sort -g | tail -1)
parent=/tmp
if (( $(df --output=avail -k /dev/shm 2>/dev/null | tail -1 || echo 0) > largest * 1024 * 4 + 65536 )); then
    parent=/dev/shm
fi
work=$(mktemp -d "$parent/vrex-session-bench.XXXXXX")
chmod 755 "$work"
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

# timed OUT CMD... -> runs CMD with its output in OUT; prints its user + system seconds
timed() {
    local out=$1 t TIMEFORMAT='%U %S'
    shift
    t=$({ time "$@" >"$out" 2>&1; } 2>&1) || { echo "$* failed: $(head -3 "$out")" >&2; exit 1; }
    awk '{print $1 + $2}' <<<"$t"
}

# ours KIND HOST USER PASS REMOTE LOCAL BATCH -> "mbps p99 rss cpu-seconds"
ours() {
    local c out
    c=$(timed "$work/ours.out" "$bench" "$@")
    out=$(cat "$work/ours.out")
    echo "$(echo "$out" | field mbps) $(echo "$out" | field p99ms) $(echo "$out" | field rssmb) $c"
}

# peer get|put HOST USER PASS SIZE -> "MB/s cpu-seconds"
peer() {
    local kind=$1 host=$2 user=$3 pass=$4 size=$5 auth=() c
    [ -n "$user" ] && auth=(--user "$user:$pass")
    if [ "$kind" = get ]; then
        c=$(timed "$work/curl.out" curl -s --ftp-pasv "${auth[@]}" -o "$work/local/curl.bin" \
            -w '%{speed_download}' "ftp://$host/big-$size.bin")
    else
        c=$(timed "$work/curl.out" curl -s --ftp-pasv "${auth[@]}" -T "$work/local/src-$size.bin" \
            -w '%{speed_upload}' "ftp://$host/up-curl-$size.bin")
    fi
    echo "$(awk -v s="$(cat "$work/curl.out")" 'BEGIN {print s / 1e6}') $c"
}

report() { # name ours peer
    awk -v n="$1" -v o="$2" -v p="$3" 'BEGIN {printf "%s: ours %.1f MB/s, curl %.1f MB/s, ratio %.2f\n", n, o, p, o / p}'
}

run_case() { # label dir host user pass size direction
    local label=$1 dir=$2 host=$3 user=$4 pass=$5 size=$6 dir_kind=$7 n step
    local b16=() b1=() raw=() peer=() p99_16=() p99_1=() rss=() c16=() craw=() cpeer=()
    local m p r c
    for n in $(seq "$rounds"); do
        # Odd rounds: ours first; even rounds: curl first.
        local steps=(16 1 raw curl)
        (( n % 2 )) || steps=(curl raw 1 16)
        for step in "${steps[@]}"; do
            case $step in
            curl)
                read -r m c < <(peer "$dir_kind" "$host" "$user" "$pass" "$size")
                peer+=("$m"); cpeer+=("$c") ;;
            raw)
                if [ "$dir_kind" = get ]; then
                    read -r m p r c < <(ours rawget "$host" "$user" "$pass" "/big-$size.bin" "$work/local/ours.bin" 1)
                else
                    read -r m p r c < <(ours rawput "$host" "$user" "$pass" "/up-$size.bin" "$work/local/src-$size.bin" 1)
                fi
                raw+=("$m"); craw+=("$c") ;;
            *)
                if [ "$dir_kind" = get ]; then
                    read -r m p r c < <(ours get "$host" "$user" "$pass" "/big-$size.bin" "$work/local/ours.bin" "$step")
                else
                    read -r m p r c < <(ours put "$host" "$user" "$pass" "/up-$size.bin" "$work/local/src-$size.bin" "$step")
                fi
                if [ "$step" = 16 ]; then b16+=("$m"); p99_16+=("$p"); rss+=("$r"); c16+=("$c"); else b1+=("$m"); p99_1+=("$p"); fi ;;
            esac
            rm -f "$work/local/ours.bin" "$work/local/curl.bin"
        done
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
    awk -v n="$label $size MiB" -v g="$(awk -v s="$size" 'BEGIN {print s / 1024}')" \
        -v a="$(printf '%s\n' "${c16[@]}" | median)" -v b="$(printf '%s\n' "${craw[@]}" | median)" \
        -v c="$(printf '%s\n' "${cpeer[@]}" | median)" \
        'BEGIN {printf "%s CPU per GiB: ours %.2f s (64 KiB hand-offs), %.2f s (layer alone), curl %.2f s\n", n, a / g, b / g, c / g}'
}

echo "# files in $parent; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
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
echo "# load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
