#!/usr/bin/python3
"""Starts Debian's vsftpd in the foreground with a configuration of its own.

  vsftpd_launcher.py [--exit-with-stdin] [--slow-login] STATE_DIR [ANON_ROOT]

Anonymous read-only on 127.0.0.1, a free port, passive ports of its own,
LIST only (vsftpd has no MLSD), numeric owners, zero-padded days. Without
ANON_ROOT a small tree is made under STATE_DIR/anon (owned by root, not
writable). Prints "PORT <n>" once the server greets, then runs until it gets
SIGTERM or SIGINT, when it stops vsftpd and its session processes.
Needs root (vsftpd drops to the "ftp" user for anonymous sessions).
"""
import os
import pwd
import random
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

VSFTPD = "/usr/sbin/vsftpd"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def free_range(count=40):
    for _ in range(200):
        base = random.randrange(30000, 60000 - count)
        socks = []
        try:
            for p in range(base, base + count):
                s = socket.socket()
                s.bind(("127.0.0.1", p))
                socks.append(s)
            return base, base + count - 1
        except OSError:
            continue
        finally:
            for s in socks:
                s.close()
    sys.exit("vsftpd_launcher: no free passive port range")


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
    port = free_port()
    low, high = free_range()
    try:
        pwd.getpwnam("ftp")
        ftp_user = "ftp"
    except KeyError:
        ftp_user = "nobody"
    conf = os.path.join(state, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "background=NO",
            "listen_address=127.0.0.1", "listen_port=%d" % port,
            "pasv_enable=YES", "pasv_min_port=%d" % low, "pasv_max_port=%d" % high,
            "pasv_address=127.0.0.1", "port_enable=NO",
            "anonymous_enable=YES", "local_enable=NO", "write_enable=NO",
            "anon_root=%s" % anon, "no_anon_password=YES", "ftp_username=%s" % ftp_user,
            "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
            "secure_chroot_dir=%s" % empty, "nopriv_user=%s" % ftp_user,
            "xferlog_enable=NO", "syslog_enable=NO", "use_localtime=NO",
            "max_clients=0", "max_per_ip=0", "connect_from_port_20=NO",
            "ftpd_banner=Vrex vsftpd test server.",
            "delay_successful_login=%d" % (3 if slow_login else 0), "",
        ]))
    proc = subprocess.Popen([VSFTPD, conf], stdin=subprocess.DEVNULL, start_new_session=True)

    def stop(*_):
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
    deadline = time.time() + 20
    while time.time() < deadline:
        if proc.poll() is not None:
            sys.exit("vsftpd_launcher: vsftpd exited with %d" % proc.returncode)
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(100).startswith(b"220"):
                    print("PORT %d" % port, flush=True)
                    break
        except OSError:
            time.sleep(0.05)
    else:
        stop()
    while proc.poll() is None:  # the handler only signals; waiting stays here
        time.sleep(0.1)
    stop()  # session processes left in the group


if __name__ == "__main__":
    main()
