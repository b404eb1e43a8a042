#!/usr/bin/python3
"""pyftpdlib serving explicit FTP over TLS (or plain FTP), for the TLS tests.

  tls_server.py [--exit-with-stdin] MODE ROOT LOG [CERT KEY]

MODE "tls" requires AUTH TLS and protected data connections (pyftpdlib's
TLS_FTPHandler, python3-openssl); "plain" is pyftpdlib's plain handler, which
refuses AUTH. TLS is optional in "tls-no-prot", which refuses PROT P, and in
"tls-later", which refuses AUTH on the first connection and closes it after
TYPE. CERT may hold intermediates after the leaf. User "vrex" with password
"secret" reads and writes ROOT,
anonymous reads it. Every command's verb is appended to LOG as it arrives.
Prints "PORT <n>" once it listens.
"""
import os
import sys
import threading


def main():
    if "--exit-with-stdin" in sys.argv:
        sys.argv.remove("--exit-with-stdin")

        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    mode, root, log = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    import logging
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
    from pyftpdlib.log import config_logging
    from pyftpdlib.servers import FTPServer

    config_logging(level=logging.WARNING)

    base = FTPHandler if mode == "plain" else TLS_FTPHandler
    connections = []

    class Handler(base):
        def on_connect(self):
            connections.append(self)

        def first(self):  # "tls-later"'s plain connection
            return mode == "tls-later" and connections[0] is self

        def pre_process_command(self, line, cmd, arg):
            with open(log, "a") as f:
                f.write(cmd + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_AUTH(self, line):
            if self.first():
                return self.respond("500 Not on this connection.")
            return super().ftp_AUTH(line)

        def ftp_PROT(self, line):
            if mode == "tls-no-prot":
                return self.respond("534 Data protection refused.")
            return super().ftp_PROT(line)

        def ftp_TYPE(self, line):
            super().ftp_TYPE(line)
            if self.first():
                self.close_when_done()

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("vrex", "secret", root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.banner = "Vrex TLS test server ready."
    if mode != "plain":
        Handler.certfile = sys.argv[4]
        Handler.keyfile = sys.argv[5]
        Handler.tls_control_required = mode == "tls"
        Handler.tls_data_required = mode == "tls"
    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
