#!/usr/bin/python3
"""Starts and stops the test FTP server (Debian's python3-pyftpdlib).

  ftp_fixture.py start STATE_DIR   serve on a free port of 127.0.0.1, detached
  ftp_fixture.py stop STATE_DIR    stop it
  ftp_fixture.py serve STATE_DIR   serve in the foreground (used by start)

Anonymous logins read STATE_DIR/anon; user "vrex" with password "secret"
reads and writes STATE_DIR/user. The port is written to STATE_DIR/port once
the server accepts connections. With a file STATE_DIR/list-only the server
offers no MLST or MLSD, as servers that list only with LIST. With a file
STATE_DIR/log-commands it appends every command to STATE_DIR/commands.log.
With a file STATE_DIR/data-rate holding a number, the server sends file data
at no more than that many bytes a second, and keeps the total of the data
bytes it sent in STATE_DIR/sent-bytes.
Each session's end is written to STATE_DIR/closes.log (the user logged in,
or "-"). STATE_DIR/logins-per-user
holds the most sessions one user may have logged in at once (a further PASS
gets a 530 naming the limit); STATE_DIR/connections-per-address the most
connections from one address (a further one gets a 421); STATE_DIR/throttle the most bytes a second of
each data connection.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

USER, PASSWORD = "vrex", "secret"


def populate(root):
    """A small tree that tests can rely on."""
    os.makedirs(os.path.join(root, "pub", "docs"), exist_ok=True)
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    with open(os.path.join(root, "readme.txt"), "wb") as f:
        f.write(b"Vrex Explorer test server\r\n")
    with open(os.path.join(root, "zero.bin"), "wb"):
        pass
    with open(os.path.join(root, "tenk.bin"), "wb") as f:
        f.write(bytes(i % 251 for i in range(10000)))
    with open(os.path.join(root, "pub", "docs", "guide.txt"), "wb") as f:
        f.write(b"guide\n" * 100)


def number_in(state, name):
    path = os.path.join(state, name)
    return int(open(path).read()) if os.path.exists(path) else 0


def limited(base, state):
    """The handler with the state folder's limits: logins per user, bytes
    a second, and the log of ended sessions."""
    from pyftpdlib.handlers import ThrottledDTPHandler
    logins = number_in(state, "logins-per-user")
    rate = number_in(state, "throttle")
    sessions = {}

    class Limited(base):
        counted = None

        def handle_auth_success(self, home, password, msg_login):
            if logins and sessions.get(self.username, 0) >= logins:
                self.respond("530 Sorry, the maximum number of clients (%d) for this user "
                             "are already connected." % logins)
                self.username = ""
                return
            self.counted = self.username
            sessions[self.username] = sessions.get(self.username, 0) + 1
            base.handle_auth_success(self, home, password, msg_login)

        def on_disconnect(self):
            user, self.counted = self.counted, None
            if user is not None:
                sessions[user] -= 1
            with open(os.path.join(state, "closes.log"), "a") as f:
                f.write("%s\n" % (user or "-"))

    if rate:
        class Throttled(ThrottledDTPHandler):
            read_limit = rate
            write_limit = rate
        Limited.dtp_handler = Throttled
    return Limited


def serve(state):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    anon, user = os.path.join(state, "anon"), os.path.join(state, "user")
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(anon)
    authorizer.add_user(USER, PASSWORD, user, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Vrex test server ready."
    handler.auth_failed_timeout = 0.2  # a refused login answers at once
    handler.passive_ports = None
    if os.path.exists(os.path.join(state, "list-only")):
        handler.proto_cmds = {k: v for k, v in handler.proto_cmds.items()
                              if k not in ("MLST", "MLSD")}
    if os.path.exists(os.path.join(state, "log-commands")):
        def log_cmd(self, cmd, arg, respcode, respstr):
            with open(os.path.join(state, "commands.log"), "a", errors="replace") as f:
                f.write(("%s %s" % (cmd, arg)).strip() + "\n")
        handler.log_cmd = log_cmd
    handler = limited(handler, state)
    rate_file = os.path.join(state, "data-rate")
    if os.path.exists(rate_file):
        handler.dtp_handler = metered_dtp(int(open(rate_file).read()),
                                          os.path.join(state, "sent-bytes"))
    server = FTPServer(("127.0.0.1", 0), handler)
    server.max_cons = 512
    server.max_cons_per_ip = number_in(state, "connections-per-address")
    port = server.socket.getsockname()[1]
    tmp = os.path.join(state, "port.tmp")
    with open(tmp, "w") as f:
        f.write(str(port))
    os.replace(tmp, os.path.join(state, "port"))
    signal.signal(signal.SIGTERM, lambda *_: server.close_all())
    server.serve_forever(handle_exit=True)


def metered_dtp(rate, total_file):
    """A data channel sending rate bytes a second that adds what it sent to total_file."""
    from pyftpdlib.handlers import ThrottledDTPHandler

    class Metered(ThrottledDTPHandler):
        write_limit = rate
        slot = 0.02  # seconds: the data goes out evenly, not in bursts of a second's worth

        def _throttle_bandwidth(self, len_chunk, max_speed):
            self._datacount += len_chunk
            if self._datacount < max_speed * self.slot:
                return
            self._datacount = 0
            now = time.monotonic()
            # What was sent is due by _timenext: until then the channel rests.
            self._timenext = max(self._timenext, now) + self.slot
            self.del_channel()
            self._cancel_throttler()
            self._throttler = self.ioloop.call_later(
                self._timenext - now, lambda: self.add_channel(events=self.ioloop.WRITE),
                _errback=self.handle_error)

        def close(self):
            if not self._closed:
                total = int(open(total_file).read()) if os.path.exists(total_file) else 0
                with open(total_file + ".tmp", "w") as f:
                    f.write(str(total + self.tot_bytes_sent))
                os.replace(total_file + ".tmp", total_file)
            super().close()
    return Metered


def start(state):
    stop(state)
    for sub in ("anon", "user"):
        shutil.rmtree(os.path.join(state, sub), ignore_errors=True)
    os.makedirs(state, exist_ok=True)
    populate(os.path.join(state, "anon"))
    populate(os.path.join(state, "user"))
    log = open(os.path.join(state, "server.log"), "wb")
    proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state],
                            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                            start_new_session=True)
    with open(os.path.join(state, "pid"), "w") as f:
        f.write(str(proc.pid))
    # Only a guard against a server that never comes up: a starved machine
    # may need many seconds to start python and pyftpdlib.
    deadline = time.time() + 90
    port_file = os.path.join(state, "port")
    while time.time() < deadline:
        if proc.poll() is not None:
            sys.exit("ftp fixture: server exited; see " + os.path.join(state, "server.log"))
        if os.path.exists(port_file):
            port = int(open(port_file).read())
            if greets(port, deadline):
                print("ftp fixture: pyftpdlib on 127.0.0.1:%d" % port)
                return
        time.sleep(0.05)
    stop(state)
    sys.exit("ftp fixture: server did not start within 90 s")


def greets(port, deadline):
    """True once the server on port sends its 220 greeting."""
    try:
        with socket.create_connection(("127.0.0.1", port),
                                      timeout=max(1.0, deadline - time.time())) as s:
            return s.recv(100).startswith(b"220")
    except OSError:
        return False


def stop(state):
    pid_file = os.path.join(state, "pid")
    if os.path.exists(pid_file):
        try:
            os.kill(int(open(pid_file).read()), signal.SIGTERM)
        except (ProcessLookupError, ValueError):
            pass
        os.remove(pid_file)
    port_file = os.path.join(state, "port")
    if os.path.exists(port_file):
        os.remove(port_file)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](os.path.abspath(sys.argv[2]))
