#!/usr/bin/env bash
# The FTP layer's benchmark (issue 3): our 4096-byte InternetReadFile /
# InternetWriteFile transfers and our listing against curl and lftp, on
# loopback, from pyftpdlib and vsftpd. 3 rounds, ours and the peer taking
# turns first; the median of each side is compared.
#
#   bench/ftplayer/run.sh [--quick]    --quick: 256 MiB and the listing only
#
# Ends with one line per figure:  name: ours X MB/s, peer Y MB/s, ratio R
# (R = ours / peer; MB = 10^6 bytes; listings count the raw LIST text's size
# so that their figures are time ratios too) and the peak resident memory of
# our 1 GiB transfers. vsftpd needs root; without it its figures are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
quick=0
[[ "${1:-}" == "--quick" ]] && quick=1
bin=${BENCH_BIN:-$top/build/bench/ftplayer/bench_ftplayer}
if [[ ! -x "$bin" ]]; then
  cmake --build "$top/build" --target bench_ftplayer >/dev/null
fi
for tool in curl lftp /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vrex-bench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "preparing files in $work" >&2
mkdir -p "$work/files/many" "$work/up" "$work/vs"
head -c 256M /dev/urandom >"$work/files/f256.bin"
sizes=(256)
if [[ $quick -eq 0 ]]; then
  head -c 1G /dev/urandom >"$work/files/f1024.bin"
  sizes+=(1024)
fi
/usr/bin/python3 - "$work/files/many" <<'PY'
import os, sys
for i in range(20000):
    with open(os.path.join(sys.argv[1], "file-%05d.dat" % i), "wb") as f:
        f.write(b"x" * (i % 97))
PY
chmod -R a+rX "$work/files"

# pyftpdlib: user vrex/secret, reads files/, writes up/
/usr/bin/python3 - "$work" >"$work/py.log" 2>&1 <<'PY' &
import os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
root = sys.argv[1]
a = DummyAuthorizer()
a.add_user("vrex", "secret", root, perm="elradfmwMT")
FTPHandler.authorizer = a
s = FTPServer(("127.0.0.1", 0), FTPHandler)
with open(os.path.join(root, "py.port.tmp"), "w") as f:
    f.write(str(s.socket.getsockname()[1]))
os.rename(os.path.join(root, "py.port.tmp"), os.path.join(root, "py.port"))
s.serve_forever(handle_exit=True)
PY
pids+=($!)
for _ in $(seq 100); do [[ -f "$work/py.port" ]] && break; sleep 0.1; done
pyport=$(cat "$work/py.port")
py="127.0.0.1:$pyport"

vsport=""
if [[ $(id -u) -eq 0 && -x /usr/sbin/vsftpd ]]; then
  /usr/bin/python3 "$top/tests/ftp/vsftpd_launcher.py" "$work/vs" "$work/files" >"$work/vs.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do grep -q '^PORT' "$work/vs.out" 2>/dev/null && break; sleep 0.1; done
  vsport=$(sed -n 's/^PORT //p' "$work/vs.out")
fi
[[ -n "$vsport" ]] || echo "vsftpd not available (needs root): its figures are skipped" >&2
vs="127.0.0.1:$vsport"
lftp_base="set ftp:ssl-allow no; set net:max-retries 1; set xfer:clobber on; set cmd:fail-exit yes"

# seconds CMD: runs CMD (a string), prints its wall time in seconds
seconds() {
  local start end
  start=$(date +%s.%N)
  if ! eval "$1" >"$work/cmd.out" 2>"$work/cmd.err"; then
    echo "failed: $1" >&2; cat "$work/cmd.err" >&2; return 1
  fi
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

results=()
# figure NAME BYTES OURS PEER [CLEAN]: 3 rounds, the two sides taking turns first
figure() {
  local name=$1 bytes=$2 ours=$3 peer=$4 clean=${5:-true}
  local o=() p=() round
  for round in 1 2 3; do
    if (( round % 2 )); then
      o+=("$(seconds "$ours")"); eval "$clean"; p+=("$(seconds "$peer")"); eval "$clean"
    else
      p+=("$(seconds "$peer")"); eval "$clean"; o+=("$(seconds "$ours")"); eval "$clean"
    fi
  done
  local mo mp line
  mo=$(median "${o[@]}"); mp=$(median "${p[@]}")
  line=$(awk -v n="$name" -v b="$bytes" -v to="$mo" -v tp="$mp" 'BEGIN {
    ro = b / 1e6 / to; rp = b / 1e6 / tp
    printf "%s: ours %.1f MB/s, peer %.1f MB/s, ratio %.2f", n, ro, rp, ro / rp }')
  echo "$line (times ours ${o[*]}, peer ${p[*]})" >&2
  results+=("$line")
}

rm_out='rm -f "$work/out.bin"; sync'
for mb in "${sizes[@]}"; do
  f="f$mb.bin"; bytes=$((mb * 1024 * 1024))
  figure "download-${mb}MiB-pyftpdlib-vs-curl" $bytes \
    "\"$bin\" get $py vrex secret /files/$f \"$work/out.bin\"" \
    "curl -sS -o \"$work/out.bin\" ftp://vrex:secret@$py/files/$f" "$rm_out"
  figure "download-${mb}MiB-pyftpdlib-vs-lftp" $bytes \
    "\"$bin\" get $py vrex secret /files/$f \"$work/out.bin\"" \
    "lftp -c '$lftp_base; open -u vrex,secret ftp://$py; get /files/$f -o \"$work/out.bin\"'" "$rm_out"
  if [[ -n "$vsport" ]]; then
    figure "download-${mb}MiB-vsftpd-vs-curl" $bytes \
      "\"$bin\" get $vs '' '' /$f \"$work/out.bin\"" \
      "curl -sS -o \"$work/out.bin\" ftp://$vs/$f" "$rm_out"
    figure "download-${mb}MiB-vsftpd-vs-lftp" $bytes \
      "\"$bin\" get $vs '' '' /$f \"$work/out.bin\"" \
      "lftp -c '$lftp_base; open ftp://$vs; get /$f -o \"$work/out.bin\"'" "$rm_out"
  fi
  rm_up='rm -f "$work/up/"*; sync'
  figure "upload-${mb}MiB-pyftpdlib-vs-curl" $bytes \
    "\"$bin\" put $py vrex secret \"$work/files/$f\" /up/ours.bin" \
    "curl -sS -T \"$work/files/$f\" ftp://vrex:secret@$py/up/curl.bin" "$rm_up"
  figure "upload-${mb}MiB-pyftpdlib-vs-lftp" $bytes \
    "\"$bin\" put $py vrex secret \"$work/files/$f\" /up/ours.bin" \
    "lftp -c '$lftp_base; open -u vrex,secret ftp://$py; put \"$work/files/$f\" -o /up/lftp.bin'" "$rm_up"
  if [[ $mb -eq 1024 ]]; then
    for side in "pyftpdlib $py vrex secret /files/$f" ${vsport:+"vsftpd $vs '' '' /$f"}; do
      set -- $side
      rss=$(eval "\"$bin\" get $2 $3 $4 $5 \"$work/out.bin\"" | sed -n 's/.*rss_kb=\([0-9]*\).*/\1/p')
      rm -f "$work/out.bin"
      results+=("$(awk -v n="$1" -v k="$rss" 'BEGIN { printf "peak-memory-download-1GiB-%s: ours %.1f MB resident (goal under 20 MB)", n, k / 1024 }')")
    done
  fi
done

# Listings of 20,000 entries: ours (MLSD on pyftpdlib, LIST on vsftpd, parsed
# into records) against curl's name list (NLST) and curl's raw LIST.
list_bytes=$(curl -sS "ftp://vrex:secret@$py/files/many/" | wc -c)
figure "list-20000-pyftpdlib-vs-curl-list-only" "$list_bytes" \
  "\"$bin\" list $py vrex secret /files/many" \
  "curl -sS --list-only -o /dev/null ftp://vrex:secret@$py/files/many/"
figure "list-20000-pyftpdlib-vs-curl-raw-LIST" "$list_bytes" \
  "\"$bin\" list $py vrex secret /files/many" \
  "curl -sS -o /dev/null ftp://vrex:secret@$py/files/many/"
if [[ -n "$vsport" ]]; then
  list_bytes=$(curl -sS "ftp://$vs/many/" | wc -c)
  figure "list-20000-vsftpd-vs-curl-list-only" "$list_bytes" \
    "\"$bin\" list $vs '' '' /many" \
    "curl -sS --list-only -o /dev/null ftp://$vs/many/"
  figure "list-20000-vsftpd-vs-curl-raw-LIST" "$list_bytes" \
    "\"$bin\" list $vs '' '' /many" \
    "curl -sS -o /dev/null ftp://$vs/many/"
fi

printf '%s\n' "${results[@]}"
