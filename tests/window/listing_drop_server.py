#!/usr/bin/python3
"""An FTP server whose listings break off on chosen attempts, for window tests.

  listing_drop_server.py

Serves 127.0.0.1 on a free port and prints "PORT <n>" once it listens; exits
when its standard input ends. The root holds the folders "broken" and "good"
and the file "a.txt"; "broken" holds "one.txt" and "two.txt"; "good" is empty.
The first listing of /broken and the second listing of the root send their
data, then drop the control connection before the final reply.
"""
import os
import socket
import sys
import threading

ROOT = (b"drwxr-xr-x    2 0  0   4096 Jan 05  2024 broken\r\n"
        b"drwxr-xr-x    2 0  0   4096 Jan 05  2024 good\r\n"
        b"-rw-r--r--    1 0  0   1000 Jan 05  2024 a.txt\r\n")
BROKEN = (b"-rw-r--r--    1 0  0     10 Jan 05  2024 one.txt\r\n"
          b"-rw-r--r--    1 0  0     20 Jan 05  2024 two.txt\r\n")
LISTINGS = {"/": ROOT, "/broken": BROKEN, "/good": b""}
DROPPED_ATTEMPTS = {"/": 2, "/broken": 1}

attempts = {}
attempts_lock = threading.Lock()


def attempt_of(path):
    with attempts_lock:
        attempts[path] = attempts.get(path, 0) + 1
        return attempts[path]


class Session:
    def __init__(self, sock):
        self.sock = sock
        self.rfile = sock.makefile("rb")
        self.pasv = None

    def reply(self, line):
        self.sock.sendall((line + "\r\n").encode("latin-1"))

    def passive(self):
        if self.pasv:
            self.pasv.close()
        self.pasv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.pasv.bind(("127.0.0.1", 0))
        self.pasv.listen(1)
        self.pasv.settimeout(10)
        return self.pasv.getsockname()[1]

    def run(self):
        self.reply("220 Listing drop server ready.")
        while True:
            raw = self.rfile.readline(100000)
            if not raw:
                return
            verb, _, arg = raw.decode("latin-1").rstrip("\r\n").partition(" ")
            if self.handle(verb.upper(), arg) == "close":
                return

    def handle(self, verb, arg):
        simple = {"USER": "331 Password please.", "PASS": "230 Logged in.",
                  "TYPE": "200 OK.", "OPTS": "200 OK.", "NOOP": "200 OK.",
                  "CWD": "250 Directory changed.", "SIZE": "550 Not a plain file.",
                  "PWD": '257 "/" is the current directory.', "SYST": "215 UNIX Type: L8"}
        if verb in simple:
            self.reply(simple[verb])
        elif verb == "FEAT":
            self.reply("211-Features:\r\n EPSV\r\n211 End")
        elif verb == "EPSV":
            self.reply("229 Entering Extended Passive Mode (|||%d|)" % self.passive())
        elif verb == "PASV":
            port = self.passive()
            self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port // 256, port % 256))
        elif verb == "LIST":
            return self.listing(arg)
        elif verb == "QUIT":
            self.reply("221 Bye.")
            return "close"
        else:
            self.reply("502 Command not implemented.")
        return None

    def listing(self, arg):
        path = "/" + arg.strip().strip("/")
        if path not in LISTINGS:
            self.reply("550 No such directory.")
            return None
        data, _ = self.pasv.accept()
        self.pasv.close()
        self.pasv = None
        self.reply("150 Here comes the listing.")
        data.sendall(LISTINGS[path])
        data.close()
        if attempt_of(path) == DROPPED_ATTEMPTS.get(path):
            return "close"
        self.reply("226 Transfer complete.")
        return None


def serve(sock):
    try:
        Session(sock).run()
    except OSError:
        pass
    finally:
        sock.close()


def main():
    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(sock,), daemon=True).start()


if __name__ == "__main__":
    main()
