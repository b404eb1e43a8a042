#!/usr/bin/python3
"""Serves Debian's vsftpd on a port of the launcher's own, with a configuration of its own.

  vsftpd_launcher.py [--exit-with-stdin] [--slow-login] [--tls CERT KEY] STATE_DIR [ANON_ROOT]

Anonymous read-only on 127.0.0.1, LIST only (vsftpd has no MLSD), numeric
owners, zero-padded days. The launcher listens itself on a port the kernel
gives it and runs one vsftpd per connection in inetd mode, so no port is
guessed and released for someone else to take; vsftpd's passive ports come
from the kernel too. With --tls, logins and data need explicit TLS (with the
control connection's session resumed on data connections) and anonymous
uploads go to ANON_ROOT/incoming. Without ANON_ROOT a small tree is made under
STATE_DIR/anon (owned by root, not writable). Prints "PORT <n>" once it
listens, then runs until it gets SIGTERM or SIGINT (or, with
--exit-with-stdin, until its standard input ends), when it stops every
vsftpd it started. Needs root (vsftpd drops to the "ftp" user for anonymous
sessions).
"""
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import threading

VSFTPD = "/usr/sbin/vsftpd"


def populate(root):
    os.makedirs(os.path.join(root, "pub", "docs"), exist_ok=True)
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    with open(os.path.join(root, "readme.txt"), "wb") as f:
        f.write(b"Vrex Explorer test server\r\n")
    with open(os.path.join(root, "tenk.bin"), "wb") as f:
        f.write(bytes(i % 251 for i in range(10000)))
    with open(os.path.join(root, "three-mb.bin"), "wb") as f:
        f.write(bytes(i % 251 for i in range(3000000)))
    with open(os.path.join(root, "name with  blanks.txt"), "wb") as f:
        f.write(b"blanks\n")
    with open(os.path.join(root, "pub", "docs", "guide.txt"), "wb") as f:
        f.write(b"guide\n" * 100)
    old = os.path.join(root, "old.txt")
    with open(old, "wb") as f:
        f.write(b"old\n")
    t = 1546300800 + 4 * 86400 + 3600  # 2019-01-05 01:00 UTC
    os.utime(old, (t, t))
    with open(os.path.join(root, "five-gib.img"), "wb") as f:
        f.truncate(5 * 1024 ** 3)  # sparse: no disk space used
    for dirpath, dirnames, filenames in os.walk(root):
        os.chmod(dirpath, 0o555)
        for name in filenames:
            os.chmod(os.path.join(dirpath, name), 0o444)


def main():
    watch_stdin = "--exit-with-stdin" in sys.argv
    if watch_stdin:
        sys.argv.remove("--exit-with-stdin")
    slow_login = "--slow-login" in sys.argv  # answers a login after 3 seconds
    if slow_login:
        sys.argv.remove("--slow-login")
    tls = None
    if "--tls" in sys.argv:
        at = sys.argv.index("--tls")
        tls = (os.path.abspath(sys.argv[at + 1]), os.path.abspath(sys.argv[at + 2]))
        del sys.argv[at:at + 3]
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    if os.geteuid() != 0:
        sys.exit("vsftpd_launcher: needs root")
    if not os.path.exists(VSFTPD):
        sys.exit("vsftpd_launcher: %s is not installed" % VSFTPD)
    state = os.path.abspath(sys.argv[1])
    os.makedirs(state, exist_ok=True)
    if len(sys.argv) > 2:
        anon = os.path.abspath(sys.argv[2])
    else:
        anon = os.path.join(state, "anon")
        if os.path.exists(anon):
            for dirpath, _, _ in os.walk(anon):
                os.chmod(dirpath, 0o755)
            shutil.rmtree(anon)
        populate(anon)
    empty = os.path.join(state, "empty")
    os.makedirs(empty, exist_ok=True)
    os.chmod(empty, 0o555)
    try:
        pwd.getpwnam("ftp")
        ftp_user = "ftp"
    except KeyError:
        ftp_user = "nobody"
    tls_lines = []
    if tls:
        incoming = os.path.join(anon, "incoming")
        os.makedirs(incoming, exist_ok=True)
        user = pwd.getpwnam(ftp_user)
        os.chown(incoming, user.pw_uid, user.pw_gid)
        os.chmod(incoming, 0o755)
        tls_lines = [
            "ssl_enable=YES", "allow_anon_ssl=YES", "force_anon_logins_ssl=YES",
            "force_anon_data_ssl=YES", "require_ssl_reuse=YES", "ssl_ciphers=HIGH",
            "rsa_cert_file=%s" % tls[0], "rsa_private_key_file=%s" % tls[1],
            "write_enable=YES", "anon_upload_enable=YES", "anon_umask=022",
        ]
    conf = os.path.join(state, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "listen=NO", "listen_ipv6=NO", "background=NO",
            "pasv_enable=YES", "pasv_address=127.0.0.1", "port_enable=NO",
            "anonymous_enable=YES", "local_enable=NO", "write_enable=NO",
            "anon_root=%s" % anon, "no_anon_password=YES", "ftp_username=%s" % ftp_user,
            "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
            "secure_chroot_dir=%s" % empty, "nopriv_user=%s" % ftp_user,
            "xferlog_enable=NO", "syslog_enable=NO", "use_localtime=NO",
            "connect_from_port_20=NO",
            "ftpd_banner=Vrex vsftpd test server.",
            "delay_successful_login=%d" % (3 if slow_login else 0),
        ] + tls_lines + [""]))
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    sessions = []
    lock = threading.Lock()
    stopping = threading.Event()

    def serve():
        while not stopping.is_set():
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            with conn:
                proc = subprocess.Popen([VSFTPD, conf], stdin=conn.fileno(), stdout=conn.fileno(),
                                        stderr=subprocess.DEVNULL, start_new_session=True)
            with lock:
                sessions[:] = [p for p in sessions if p.poll() is None] + [proc]

    def stop(*_):
        stopping.set()
        with lock:
            for proc in sessions:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if watch_stdin:  # the test keeps our standard input open; its end means it is gone
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            stop()
        threading.Thread(target=watch, daemon=True).start()
    threading.Thread(target=serve, daemon=True).start()
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while not stopping.is_set():  # the handlers only signal; waiting stays here
        stopping.wait(0.1)
    stop()  # sessions started while stopping
    listener.close()


if __name__ == "__main__":
    main()
