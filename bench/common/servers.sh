# Sourced by the window benchmarks' run.sh: the servers on loopback.
#   start_pyftpdlib WORK   -> py_port; its user "vrex" sees WORK/py/user
#   start_vsftpd WORK DATA -> vs_port (empty when not root or not installed);
#                             anonymous logins see DATA
#   start_vsftpd_tls WORK DATA CERT KEY -> vs_port, as start_vsftpd but
#                             requiring explicit TLS; uploads go to DATA/incoming
#   stop_servers WORK
# SRC must name the source tree.
vs_pid=
start_pyftpdlib() {
    /usr/bin/python3 "$SRC/tests/support/ftp_fixture.py" start "$1/py" >/dev/null
    py_port=$(cat "$1/py/port")
}
start_vsftpd_tls() {
    start_vsftpd "$1" "$2" --tls "$3" "$4"
}
start_vsftpd() {
    vs_port=
    if [ "$(id -u)" = 0 ] && [ -x /usr/sbin/vsftpd ]; then
        /usr/bin/python3 "$SRC/tests/ftp/vsftpd_launcher.py" "${@:3}" "$1/vs" "$2" >"$1/vs.out" 2>&1 &
        vs_pid=$!
        for _ in $(seq 200); do grep -q '^PORT' "$1/vs.out" 2>/dev/null && break; sleep 0.1; done
        vs_port=$(sed -n 's/^PORT //p' "$1/vs.out")
    fi
    [ -n "$vs_port" ] || echo "# vsftpd skipped (needs root and vsftpd)" >&2
}
stop_servers() {
    /usr/bin/python3 "$SRC/tests/support/ftp_fixture.py" stop "$1/py" >/dev/null 2>&1 || true
    if [ -n "$vs_pid" ]; then kill "$vs_pid" 2>/dev/null || true; wait "$vs_pid" 2>/dev/null || true; fi
}
