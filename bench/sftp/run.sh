#!/usr/bin/env bash
# SFTP throughput: the layer (bench_sftp, 4096-byte calls as the workers make
# them) against OpenSSH's sftp in batch mode and curl sftp://, one after the
# other in the same run, against Debian's OpenSSH server on 127.0.0.1. Files
# live in /dev/shm so the disk is not measured. Then SMALL files of 4 KiB
# through the window's queue (bench_sftp_queue, with the window's timer
# lateness) against the same two, each on one connection. MIB=0 skips the
# large file, SMALL=0 the small ones.
#   bash bench/sftp/run.sh [BUILD_DIR] [MIB] [SMALL]   defaults: build, 1024, 1000
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$top/build}")
mib=${2:-1024}
small=${3:-1000}
bench="$build/bench/sftp/bench_sftp"
work=$(mktemp -d /dev/shm/vrex-sftp-bench.XXXXXX)
sshd_pid=""
cleanup() {
  [[ -n "$sshd_pid" ]] && kill "$sshd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/client" "$work/data" "$work/local"
ssh-keygen -q -t ed25519 -N "" -f "$work/host_key"
ssh-keygen -q -t ed25519 -N "" -f "$work/client/id_ed25519"
cp "$work/client/id_ed25519.pub" "$work/authorized_keys"
[[ $(id -u) == 0 ]] && mkdir -p /run/sshd
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/sshd_config" <<CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin yes
StrictModes no
UsePAM no
PidFile none
Subsystem sftp internal-sftp
CONF
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
sshd_pid=$!
for _ in $(seq 100); do grep -q "Server listening" "$work/sshd.log" && break; sleep 0.1; done
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" > "$work/client/known_hosts"
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/data/big.bin"
cp "$work/data/big.bin" "$work/local/up.bin"

seconds() { local s e; s=$(date +%s%N); "$@" >/dev/null; e=$(date +%s%N); python3 -c "print(($e - $s) / 1e9)"; }
ssh_opts=(-i "$work/client/id_ed25519" -o "UserKnownHostsFile=$work/client/known_hosts" -P "$port")
curl_opts=(-s -k --key "$work/client/id_ed25519" --pubkey "$work/client/id_ed25519.pub" -u "$(id -un):")
url="sftp://127.0.0.1:$port$work"
check() { cmp -s "$work/data/big.bin" "$1" || { echo "MISMATCH $1"; exit 1; }; }

for dir in down up; do
  [[ $mib == 0 ]] && break
  for tool in vrex sftp curl; do
    rm -f "$work/local/got.bin" "$work/data/up.bin"
    case $dir-$tool in
      down-vrex) t=$(seconds "$bench" get "127.0.0.1:$port" "$work/client" "$work/data/big.bin" "$work/local/got.bin");;
      up-vrex)   t=$(seconds "$bench" put "127.0.0.1:$port" "$work/client" "$work/local/up.bin" "$work/data/up.bin");;
      down-sftp) echo "get $work/data/big.bin $work/local/got.bin" > "$work/batch"
                 t=$(seconds sftp -q -b "$work/batch" "${ssh_opts[@]}" 127.0.0.1);;
      up-sftp)   echo "put $work/local/up.bin $work/data/up.bin" > "$work/batch"
                 t=$(seconds sftp -q -b "$work/batch" "${ssh_opts[@]}" 127.0.0.1);;
      down-curl) t=$(seconds curl "${curl_opts[@]}" -o "$work/local/got.bin" "$url/data/big.bin");;
      up-curl)   t=$(seconds curl "${curl_opts[@]}" -T "$work/local/up.bin" "$url/data/up.bin");;
    esac
    [[ $dir == down ]] && check "$work/local/got.bin" || check "$work/data/up.bin"
    python3 -c "print('%-5s %-5s %7.2f s %8.1f MiB/s' % ('$dir', '$tool', $t, $mib / $t))"
  done
done

[[ $small == 0 ]] && exit 0
mkdir -p "$work/data/small"
for i in $(seq -w 1 "$small"); do head -c 4096 /dev/urandom > "$work/data/small/f$i.bin"; done
: > "$work/curl.cfg"
for f in "$work"/data/small/*; do
  printf 'url = "%s"\noutput = "%s"\n' "$url/data/small/${f##*/}" "$work/local/small/${f##*/}" >> "$work/curl.cfg"
done
for tool in vrex sftp curl; do
  rm -rf "$work/local/small"; mkdir -p "$work/local/small"
  extra=""
  case $tool in
    vrex) s=$(date +%s%N)
          extra=$("$build/bench/sftp/bench_sftp_queue" "127.0.0.1:$port" "$work/client" \
            "$work/data/small" "$work/data/small" "$work/local/small" 2>/dev/null)
          e=$(date +%s%N);;
    sftp) echo "get $work/data/small/* $work/local/small/" > "$work/batch"
          s=$(date +%s%N); sftp -q -b "$work/batch" "${ssh_opts[@]}" 127.0.0.1 >/dev/null; e=$(date +%s%N);;
    curl) s=$(date +%s%N); curl "${curl_opts[@]}" -K "$work/curl.cfg"; e=$(date +%s%N);;
  esac
  diff -rq "$work/data/small" "$work/local/small" >/dev/null || { echo "MISMATCH small $tool"; exit 1; }
  # Ours: the queue's own time (from adding the items to the last file), not
  # the window's start-up; theirs include their process start.
  python3 -c "
import re; t = ($e - $s) / 1e9; m = re.search(r'wall_s=([0-9.]+)', '$extra')
print('small %-5s %7.2f s  %s' % ('$tool', float(m.group(1)) if m else t, '$extra'))"
done
