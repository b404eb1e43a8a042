#!/bin/bash
# Encrypted transfer benchmark: a download and an upload over explicit FTP
# over TLS through TWinInetFTP, against curl --ssl-reqd, from the same vsftpd
# (TLS required, session reuse required on data connections, a certificate
# made here), on loopback, taking turns, medians of ROUNDS (3) rounds.
#
#   bench/tls/run.sh [BUILD_DIR] [SIZE_MIB]      (size defaults to 1024)
#
# Needs root (vsftpd). Prints one line per direction:
#   name: ours MB/s, curl MB/s, ratio R
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
size=${2:-1024}
rounds=${ROUNDS:-3}
bench=$build/bench/session/bench_session
[ -x "$bench" ] || { echo "build bench_session first" >&2; exit 1; }
[ "$(id -u)" = 0 ] && [ -x /usr/sbin/vsftpd ] || { echo "needs root and vsftpd" >&2; exit 1; }

work=$(mktemp -d /tmp/vrex-tls-bench.XXXXXX)
vs_pid=
cleanup() {
    [ -n "$vs_pid" ] && kill "$vs_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/up" "$work/empty" "$work/local"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
echo "# preparing $size MiB of random data" >&2
head -c $((size << 20)) /dev/urandom >"$work/root/big.bin"
cp "$work/root/big.bin" "$work/local/src.bin"
chown ftp "$work/root/up"
chmod 555 "$work/root"
chmod 444 "$work/root/big.bin"

port=$((20000 + RANDOM % 20000))
cat >"$work/vsftpd.conf" <<CONF
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
anon_root=$work/root
no_anon_password=YES
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
secure_chroot_dir=$work/empty
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
rsa_cert_file=$work/cert.pem
rsa_private_key_file=$work/key.pem
CONF
/usr/sbin/vsftpd "$work/vsftpd.conf" &
vs_pid=$!
for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
    sleep 0.1
done
host=127.0.0.1:$port

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ours() { # get|put REMOTE LOCAL -> MB/s
    local out
    out=$(VREX_BENCH_TLS=1 "$bench" "$1" "$host" "" "" "$2" "$3" 16) \
        || { echo "bench_session $1 failed: $out" >&2; exit 1; }
    echo "$out" | sed -n 's/.*mbps=\([0-9.]*\).*/\1/p'
}
same() { cmp -s "$1" "$2" || { echo "$3: the copy differs from its source" >&2; exit 1; }; }
report() {
    awk -v n="$1" -v o="$2" -v p="$3" \
        'BEGIN {printf "%s: ours %.1f MB/s, curl %.1f MB/s, ratio %.2f\n", n, o, p, o / p}'
}

get_ours=() get_curl=() put_ours=() put_curl=()
for round in $(seq "$rounds"); do
    # Who goes first alternates, so a warm cache favours neither.
    for who in $( ((round % 2)) && echo "ours curl" || echo "curl ours"); do
        rm -f "$work/local/got.bin" "$work/root/up/"*
        if [ "$who" = ours ]; then
            get_ours+=("$(ours get /big.bin "$work/local/got.bin")")
            same "$work/local/got.bin" "$work/root/big.bin" "download"
            put_ours+=("$(ours put /up/sent.bin "$work/local/src.bin")")
            same "$work/root/up/sent.bin" "$work/local/src.bin" "upload"
        else
            s=$(curl -s --ssl-reqd -k --ftp-pasv -o "$work/local/got.bin" -w '%{speed_download}' \
                "ftp://$host/big.bin")
            get_curl+=("$(awk -v s="$s" 'BEGIN {print s / 1e6}')")
            same "$work/local/got.bin" "$work/root/big.bin" "curl download"
            s=$(curl -s --ssl-reqd -k --ftp-pasv -T "$work/local/src.bin" -w '%{speed_upload}' \
                "ftp://$host/up/sent.bin")
            put_curl+=("$(awk -v s="$s" 'BEGIN {print s / 1e6}')")
            same "$work/root/up/sent.bin" "$work/local/src.bin" "curl upload"
        fi
    done
done
report "TLS download $size MiB" "$(printf '%s\n' "${get_ours[@]}" | median)" \
    "$(printf '%s\n' "${get_curl[@]}" | median)"
report "TLS upload $size MiB" "$(printf '%s\n' "${put_ours[@]}" | median)" \
    "$(printf '%s\n' "${put_curl[@]}" | median)"
