#!/usr/bin/python3
"""A small FTP server that misbehaves on demand, for the FTP layer's tests.

  fault_server.py [--exit-with-stdin] [--data F] [--store F] [--entries N] SCENARIO [FEATURES [v6]]

Serves 127.0.0.1 (::1 with v6) on a free port and prints "PORT <n>" once it listens. Every
connection plays SCENARIO (see the table in handle_* below); FEATURES is a
comma list of what FEAT announces (default "SIZE,UTF8,EPSV"; "MLST" adds MLST).

The file /file.bin holds FILE_SIZE bytes of a fixed pattern, /dir holds a few
entries, /upload accepts STOR; /filelink is a file that SIZE knows and LIST
shows as nothing (as vsftpd may show a symbolic link to a file), and MDTM
dates when FEATURES has MDTM. Anything
else is "550 No such file".
"""
import os
import socket
import sys
import threading
import time

FILE_SIZE = 3000000
PATTERN = bytes(i % 251 for i in range(FILE_SIZE))
LISTING = (b"-rw-r--r--    1 0        0          100000 Jan 05  2024 file.bin\r\n"
           b"drwxr-xr-x    2 0        0            4096 Jan 05  2024 dir\r\n")
MLSD_LISTING = (b"type=file;size=100000;modify=20240105101112; file.bin\r\n"
                b"type=dir;modify=20240105101112; dir\r\n")
DIR_LISTING = (b"-rw-r--r--    1 0        0               5 Feb 01  2023 inner.txt\r\n"
               b"-rw-r--r--    1 0        0               6 Feb 01  2023 file.bin\r\n")


class Session:
    def __init__(self, sock, scenario, features):
        self.sock = sock
        self.scenario = scenario
        self.features = features
        self.rfile = sock.makefile("rb")
        self.pasv = None
        self.commands = 0
        self.late_reply = None  # sent after the next PWD reply (late-426)
        self.idle_close = False  # idle-close: armed after the login
        self.rest = 0

    def send(self, text):
        self.sock.sendall(text.encode("latin-1") if isinstance(text, str) else text)

    def reply(self, line):
        self.send(line + "\r\n")

    def open_passive(self):
        if self.pasv:
            self.pasv.close()
        family = self.sock.family
        self.pasv = socket.socket(family, socket.SOCK_STREAM)
        self.pasv.bind(("::1" if family == socket.AF_INET6 else "127.0.0.1", 0))
        self.pasv.listen(1)
        self.pasv.settimeout(10)
        return self.pasv.getsockname()[1]

    def accept_data(self):
        conn, _ = self.pasv.accept()
        self.pasv.close()
        self.pasv = None
        return conn

    def stall(self):
        time.sleep(3600)

    # --- the conversation -------------------------------------------------
    def run(self):
        s = self.scenario
        if s == "greeting-stall":
            self.stall()
        if s == "greeting-421":
            self.reply("421 Too many users, try later.")
            return
        if s == "greeting-close":
            return
        self.reply("220 Fault server ready.")
        while True:
            if self.idle_close:
                # Closes a control connection left idle, as servers do after
                # their idle time-out (shortened for the tests).
                self.sock.settimeout(IDLE_CLOSE_SECONDS)
            try:
                raw = self.rfile.readline(100000)
            except socket.timeout:
                self.reply("421 Timeout.")
                return
            if not raw:
                return
            line = raw.decode("latin-1").rstrip("\r\n")
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            self.commands += 1
            if self.handle(verb, arg) == "close":
                return

    def handle(self, verb, arg):
        s = self.scenario
        if verb == "AUTH" and s == "tls-handshake-drop":
            # Accepts, takes the start of the client's hello and hangs up.
            self.reply("234 Proceed with negotiation.")
            self.sock.recv(5)
            return "close"
        if s in RESUME_SCENARIOS and verb in RESUME_VERBS:
            return resume_command(self, verb, arg)
        if s == "idle-close" and verb not in ("USER", "PASS", "FEAT", "OPTS", "TYPE"):
            self.idle_close = True
        if s in STOP_SCENARIOS and verb in STOP_SCENARIOS[s]:
            return STOP_SCENARIOS[s][verb](self, arg)
        if s in DATA_FAULTS:
            answer = self.handle_data_fault(verb, arg)
            if answer is not NOT_HANDLED:
                return answer
        if verb == "USER":
            if s == "user-refused":
                self.reply("530 This FTP server is anonymous only.")
            else:
                self.reply("331 Password please.")
            return
        if verb == "PASS":
            if s == "pass-refused":
                self.reply("530 Login incorrect.")
            else:
                self.reply("230 Logged in.")
            return
        if verb == "FEAT" and s == "feat-refused":
            self.reply("500 FEAT not understood.")
            return
        if verb == "TYPE" and s == "type-refused":
            self.reply("504 Binary type not supported.")
            return
        if verb in ("EPSV", "PASV") and s == "passive-refused":
            self.reply("502 Passive mode not allowed.")
            return
        if verb == "FEAT":
            self.send("211-Features:\r\n" + "".join(" %s\r\n" % f for f in self.features)
                      + "211 End\r\n")
            return
        if verb in ("TYPE", "OPTS", "NOOP"):
            self.reply("200 OK.")
            if verb == "TYPE" and s == "drop-after-login":
                return "close"
            if verb == "TYPE" and s == "421-after-login":
                self.reply("421 Idle time-out, closing control connection.")
                return "close"
            return
        if verb == "PWD":
            self.reply('257 "/" is the current directory.')
            if self.late_reply:
                time.sleep(0.1)
                self.reply(self.late_reply)
                self.late_reply = None
            return
        if verb == "QUIT":
            self.reply("221 Bye.")
            return "close"
        if verb == "CWD":
            return self.handle_cwd(arg)
        if verb == "SIZE":
            if arg.endswith(("file.bin", "some file.txt", "filelink")):
                self.reply("213 %d" % FILE_SIZE)
            else:
                self.reply("550 Not a plain file.")
            return
        if verb == "MDTM":
            if "MDTM" in self.features and arg.endswith("filelink"):
                self.reply("213 20240105101112")
            else:
                self.reply("550 Not a plain file.")
            return
        if verb == "EPSV":
            if s in ("epsv-refused", "pasv-other-address"):
                self.reply("500 EPSV not understood.")
            else:
                self.reply("229 Entering Extended Passive Mode (|||%d|)" % self.open_passive())
            return
        if verb == "PASV":
            port = self.open_passive()
            host = "10,255,255,1" if s == "pasv-other-address" else "127,0,0,1"
            self.reply("227 Entering Passive Mode (%s,%d,%d)." % (host, port // 256, port % 256))
            return
        if verb == "MLST":
            name = arg.rsplit("/", 1)[-1]
            kind = "dir" if name == "dir" else "file"
            self.send("250-Listing %s\r\n type=%s;size=%d;modify=20240105101112; %s\r\n250 End.\r\n"
                      % (arg, kind, FILE_SIZE, arg))
            return
        if verb in ("LIST", "MLSD", "NLST"):
            return self.handle_list(verb, arg)
        if verb == "RETR":
            return self.handle_retr(arg)
        if verb == "STOR":
            return self.handle_stor(arg)
        if verb in ("DELE", "MKD", "RMD", "RNFR", "RNTO"):
            if s == "commands-refused":
                self.reply("450-Requested action not taken.\r\n450 File unavailable (busy).")
            elif verb == "RNFR":
                self.reply("350 Ready for RNTO.")
            elif verb == "MKD":
                self.reply('257 "%s" created.' % arg)
            else:
                self.reply("250 Done.")
            return
        self.reply("502 Command not implemented.")

    def handle_cwd(self, arg):
        s = self.scenario
        if s == "drop-mid-reply":
            self.send("250-First line of a long reply\r\n250-Second line")
            return "close"
        if s == "huge-reply":
            body = "".join("250-Line %06d of a very long reply %s\r\n" % (i, "x" * 60)
                           for i in range(1500))
            self.send(body + "250 End of the long reply.\r\n")
            return
        if s == "long-line":
            self.send("250 " + "y" * (5 * 1024 * 1024) + "\r\n")
            return
        if s == "endless-line":
            try:
                while True:
                    self.send(b"z" * 65536)
            except OSError:
                return "close"
        if s == "malformed":
            self.reply("Hello, this is not FTP")
            return
        if s == "stall-reply":
            self.stall()
        if s == "reply-split":
            self.send("25")
            time.sleep(0.2)
            self.send("0-multi\r\n 250 not the end\r\n250-still not\r\n250 Directory changed.\r\n")
            return
        self.reply("250 Directory changed.")

    def handle_list(self, verb, arg):
        s = self.scenario
        if arg.endswith("missing"):
            self.reply("550 No such directory.")
            return
        data = self.accept_data()
        self.reply("150 Here comes the listing.")
        if arg.endswith("some file.txt"):
            if s == "echo-path":
                # The whole path echoed, and a symbolic link that points at it.
                payload = (b"-rw-r--r--    1 0  0  100000 Jan 05  2024 /pub/some file.txt\r\n"
                           b"lrwxrwxrwx    1 0  0      13 Jan 05  2024 alias -> some file.txt\r\n")
            else:
                payload = b"-rw-r--r--    1 0  0  100000 Jan 05  2024 some\r\n"
        elif arg.endswith("dir") and verb == "LIST":
            payload = DIR_LISTING
        elif arg.endswith("filelink"):
            payload = b""
        else:
            payload = MLSD_LISTING if verb == "MLSD" else LISTING
        if s == "listing-drop":
            data.sendall(payload[:40])
            data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            data.close()
            self.reply("426 Connection closed; transfer aborted.")
            return
        data.sendall(payload)
        data.close()
        if s == "listing-no-final":
            return "close"
        if s == "listing-451":
            self.reply("451 Local error in processing.")
            return
        self.reply("226 Transfer complete.")

    def handle_retr(self, arg):
        s = self.scenario
        if not arg.endswith("file.bin"):
            self.reply("550 No such file.")
            return
        data = self.accept_data()
        self.reply("150 Opening BINARY mode data connection.")
        if s == "retr-stall":
            data.sendall(PATTERN[:5000])
            self.stall()
        if s in ("retr-short-226", "retr-short-426", "retr-short-close"):
            data.sendall(PATTERN[:30000])
            data.close()
            if s == "retr-short-226":
                self.reply("226 Transfer complete.")  # a lie: the data ended early
                return
            if s == "retr-short-426":
                self.reply("426 Connection closed; transfer aborted.")
                return
            return "close"
        if s == "retr-reset":
            data.sendall(PATTERN[:30000])
            data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            data.close()
            self.reply("426 Connection reset.")
            return
        try:
            data.sendall(PATTERN)
        except OSError:
            data.close()
            if s == "late-426":  # answered only after the next command's reply
                self.late_reply = "426 Connection closed; transfer aborted."
                return
            self.reply("426 Connection closed; transfer aborted.")
            return
        data.close()
        if s == "retr-451":
            self.reply("451 Read error on the server's disk.")
            return
        if s == "retr-no-final":
            return "close"
        if s == "retr-226-then-close":
            self.reply("226 Transfer complete.")
            return "close"
        self.reply("226 Transfer complete.")

    def handle_stor(self, arg):
        s = self.scenario
        data = self.accept_data()
        self.reply("150 Ok to send data.")
        received = 0
        data.settimeout(10)
        try:
            while True:
                chunk = data.recv(65536)
                if not chunk:
                    break
                received += len(chunk)
                if s == "stor-refused-midway" and received > 20000:
                    self.reply("452 Insufficient storage space.")
                    data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                    b"\x01\x00\x00\x00\x00\x00\x00\x00")
                    data.close()
                    return
        except OSError:
            self.reply("426 Connection reset while receiving.")
            return
        data.close()
        if s == "stor-451":
            self.reply("451 Could not write the file.")
            return
        if s == "stor-no-final":
            return "close"
        self.reply("226 Received %d bytes." % received)

    # --- listings and downloads that end early or carry hostile names -----
    # Scenarios of DATA_FAULTS; whatever they do not answer falls through to
    # the ordinary conversation above.
    def handle_data_fault(self, verb, arg):
        s = self.scenario
        if verb == "SIZE" and s.startswith("retr-announced"):
            self.reply("502 SIZE not implemented.")
            return None
        if verb == "RETR" and s.startswith("retr-announced") and arg.endswith("file.bin"):
            data = self.accept_data()
            self.reply("150 Opening BINARY mode data connection for file.bin (%d bytes)."
                       % FILE_SIZE)
            sent = FILE_SIZE // 2 if s == "retr-announced-short" else FILE_SIZE
            data.sendall(PATTERN[:sent])
            data.close()
            self.reply("226 Transfer complete.")  # also after the short one
            return None
        if verb == "MLSD" and s == "mlsd-strict" and arg not in ("", "/", "/dir", "dir"):
            self.reply("501 '%s' is not a directory." % arg)
            return None
        if verb in ("LIST", "MLSD") and s in LISTING_FAULTS:
            return self.listing_fault(verb)
        return NOT_HANDLED

    def listing_fault(self, verb):
        s = self.scenario
        if s == "list-425":
            self.reply("425 Can't open data connection.")
            return None
        data = self.accept_data()
        self.reply("150 Here comes the listing.")
        if s == "list-slash-names":
            data.sendall(SLASH_MLSD if verb == "MLSD" else SLASH_LISTING)
        elif s == "list-many":  # a client that gives up ends the session (OSError)
            send_many(data, verb, ENTRIES)
        elif s == "list-426-midway":
            data.sendall(LISTING + LISTING[:30])
            data.close()
            self.reply("426 Connection closed; transfer aborted.")
            return None
        data.close()
        self.reply("226 Transfer complete.")
        return None


def send_many(data, verb, count):
    """count short entries (--entries, default 1000000), as a huge folder lists."""
    line = ("type=file;size=1; f%07d\r\n" if verb == "MLSD"
            else "-rw-r--r-- 1 0 0 1 Jan 05  2024 f%07d\r\n")
    for start in range(0, count, 10000):
        batch = "".join(line % i for i in range(start, min(count, start + 10000)))
        data.sendall(batch.encode("ascii"))


NOT_HANDLED = object()
ENTRIES = 1000000
LISTING_FAULTS = ("list-425", "list-426-midway", "list-slash-names", "list-empty", "list-many")
DATA_FAULTS = LISTING_FAULTS + ("retr-announced", "retr-announced-short", "mlsd-strict")
SLASH_LISTING = (b"-rw-r--r--    1 0  0  11 Jan 05  2024 sub/evil.txt\r\n"
                 b"-rw-r--r--    1 0  0  12 Jan 05  2024 ../../escape.txt\r\n"
                 b"-rw-r--r--    1 0  0  13 Jan 05  2024 /abs/name.txt\r\n"
                 b"-rw-r--r--    1 0  0  14 Jan 05  2024 good.txt\r\n"
                 b"drwxr-xr-x    2 0  0  4096 Jan 05  2024 ..\r\n"
                 b"-rw-r--r--    1 0  0  15 Jan 05  2024 /\r\n")
SLASH_MLSD = (b"type=file;size=11;modify=20240105101112; sub/evil.txt\r\n"
              b"type=file;size=12;modify=20240105101112; ../../escape.txt\r\n"
              b"type=file;size=13;modify=20240105101112; /abs/name.txt\r\n"
              b"type=file;size=14;modify=20240105101112; good.txt\r\n"
              b"type=pdir;modify=20240105101112; /pub\r\n"
              b"type=file;size=15;modify=20240105101112; a\x00b\r\n")


# --- stalls and 421 replies -------------------------------------------------
# A transfer stalled in each phase, and a 421 that answers a command while the
# socket stays open. Every stall prints "STALL" first, so a test knows the
# server has stopped for good from then on.

def announce_stall():
    print("STALL", flush=True)
    time.sleep(3600)


def stall_before_data(session, arg):
    """Neither accepts the data connection nor answers the command."""
    announce_stall()


def retr_stall_mid(session, arg):
    data = session.accept_data()
    session.reply("150 Opening BINARY mode data connection.")
    data.sendall(PATTERN[:5000])
    announce_stall()


def retr_stall_final(session, arg):
    data = session.accept_data()
    session.reply("150 Opening BINARY mode data connection.")
    data.sendall(PATTERN[:10000])
    data.close()
    announce_stall()


def stor_stall_mid(session, arg):
    data = session.accept_data()
    session.reply("150 Ok to send data.")
    received = 0
    while received < 20000:
        chunk = data.recv(20000 - received)
        if not chunk:
            break
        received += len(chunk)
    announce_stall()  # reads no more: the client's buffers fill up


def stor_stall_final(session, arg):
    data = session.accept_data()
    session.reply("150 Ok to send data.")
    while data.recv(65536):
        pass
    data.close()
    announce_stall()


def reply_421(session, arg):
    session.reply("421 Service not available, closing control connection.")


STOP_SCENARIOS = {
    "retr-stall-open": {"RETR": stall_before_data},
    "retr-stall-mid": {"RETR": retr_stall_mid},
    "retr-stall-final": {"RETR": retr_stall_final},
    "stor-stall-open": {"STOR": stall_before_data},
    "stor-stall-mid": {"STOR": stor_stall_mid},
    "stor-stall-final": {"STOR": stor_stall_final},
    "cmd-421": {verb: reply_421 for verb in
                ("DELE", "MKD", "RMD", "RNFR", "CWD", "RETR", "STOR", "LIST", "MLSD", "NLST")},
}


# --- transfers broken half way, and servers that resume well or badly -------
# The first RETR (or STOR) of the server's life drops the data and the control
# connection half way; later connections find the server whole again. /file.bin
# serves --data, uploads land in --store; MDTM dates their versions apart.
#   resume-retr-changed: /file.bin is replaced (same size, other bytes) at the drop.
#   resume-retr-lie-twice: the first RETR sends half and says 226; a RETR after
#     REST sends from byte 0 as many bytes as the rest would have.
#   resume-stor-keep-old, resume-stor-replace-old: /upload holds an old file;
#     the first keeps it until an upload completes (and splices a resumed one
#     onto it), the second replaces it with the part received at the drop.

IDLE_CLOSE_SECONDS = 1.5
DATA = PATTERN
STORE_PATH = None
STATE = {"dropped": False, "store": None, "version": 0, "data_version": 0}
STATE_LOCK = threading.Lock()
RESUME_VERBS = ("REST", "RETR", "STOR", "APPE", "SIZE", "MDTM")
# scenario: (REST answered, what a RETR after an accepted REST sends)
RESUME_SCENARIOS = {
    "resume-retr": ("350", "rest"),
    "resume-retr-refused": ("502", "rest"),
    "resume-retr-lie": ("350", "whole"),
    "resume-stor": ("350", "rest"),
    "resume-stor-appe": ("502", "rest"),
    "resume-stor-over": ("502", "rest"),
    "resume-retr-changed": ("350", "rest"),
    "resume-retr-lie-twice": ("350", "head"),
    "resume-stor-keep-old": ("350", "rest"),
    "resume-stor-replace-old": ("350", "rest"),
}


def first_drop():
    with STATE_LOCK:
        first = not STATE["dropped"]
        STATE["dropped"] = True
        return first


def keep_upload(content):
    with STATE_LOCK:
        STATE["store"] = content
        STATE["version"] += 1
        if STORE_PATH:
            with open(STORE_PATH, "wb") as f:
                f.write(content)


def reset_close(data):
    data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    data.close()


def resume_command(session, verb, arg):
    rest_answer, after_rest = RESUME_SCENARIOS[session.scenario]
    if verb == "SIZE":
        if arg.endswith("file.bin"):
            session.reply("213 %d" % len(DATA))
        elif arg.endswith("upload") and STATE["store"] is not None:
            session.reply("213 %d" % len(STATE["store"]))
        else:
            session.reply("550 Not a plain file.")
        return None
    if verb == "MDTM":
        version = STATE["data_version"] if arg.endswith("file.bin") else STATE["version"]
        if "MDTM" in session.features and (arg.endswith("file.bin") or STATE["store"] is not None):
            session.reply("213 202401051000%02d" % version)
        else:
            session.reply("550 Not a plain file.")
        return None
    if verb == "REST":
        if rest_answer != "350":
            session.reply("502 REST not implemented.")
            return None
        session.rest = int(arg)
        session.reply("350 Restarting at %d." % session.rest)
        return None
    if verb == "APPE" and session.scenario != "resume-stor-appe":
        session.reply("502 APPE not implemented.")
        return None
    offset, session.rest = session.rest, 0
    if verb == "RETR":
        return resume_retr(session, offset if after_rest == "rest" else 0, after_rest, offset)
    return resume_stor(session, verb, offset)


def resume_retr(session, offset, after_rest, asked):
    global DATA
    data = session.accept_data()
    session.reply("150 Opening BINARY mode data connection.")
    if first_drop():
        data.sendall(DATA[:len(DATA) // 2])
        if session.scenario == "resume-retr-lie-twice":
            data.close()
            session.reply("226 Transfer complete.")
            return None
        time.sleep(0.2)
        reset_close(data)
        if session.scenario == "resume-retr-changed":
            DATA = DATA[::-1]
            STATE["data_version"] += 1
        return "close"
    data.sendall(DATA[:len(DATA) - asked] if after_rest == "head" else DATA[offset:])
    data.close()
    session.reply("226 Transfer complete.")
    return None


def resume_stor(session, verb, offset):
    data = session.accept_data()
    session.reply("150 Ok to send data.")
    drop = first_drop()
    received = bytearray()
    while True:
        chunk = data.recv(65536)
        if not chunk:
            break
        received += chunk
        if drop and len(received) >= len(DATA) // 2:
            if session.scenario != "resume-stor-keep-old":
                keep_upload(bytes(received))
            reset_close(data)
            return "close"
    data.close()
    old = STATE["store"] or b""
    if verb == "APPE":
        keep_upload(old + bytes(received))
    else:
        keep_upload(old[:offset] + bytes(received))
    session.reply("226 Received %d bytes." % len(received))
    return None


def serve_one(sock, scenario, features):
    try:
        Session(sock, scenario, features).run()
    except OSError:
        pass
    finally:
        try:
            sock.close()
        except OSError:
            pass


def exit_when_parent_goes():
    """The test keeps our standard input open; its end means the test is gone."""
    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    threading.Thread(target=watch, daemon=True).start()


def main():
    global DATA, STORE_PATH, ENTRIES
    if "--exit-with-stdin" in sys.argv:
        sys.argv.remove("--exit-with-stdin")
        exit_when_parent_goes()
    for option in ("--data", "--store", "--entries"):
        if option in sys.argv:
            at = sys.argv.index(option)
            value = sys.argv[at + 1]
            del sys.argv[at:at + 2]
            if option == "--data":
                with open(value, "rb") as f:
                    DATA = f.read()
            elif option == "--entries":
                ENTRIES = int(value)
            else:
                STORE_PATH = value
    scenario = sys.argv[1] if len(sys.argv) > 1 else "normal"
    if scenario.endswith("-old"):
        keep_upload(DATA[:len(DATA) // 4][::-1])
    features = (sys.argv[2] if len(sys.argv) > 2 else "SIZE,UTF8,EPSV").split(",")
    features = [f for f in features if f]
    family = socket.AF_INET6 if "v6" in sys.argv[3:] else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("::1" if family == socket.AF_INET6 else "127.0.0.1", 0))
    listener.listen(64)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve_one, args=(sock, scenario, features), daemon=True).start()


if __name__ == "__main__":
    main()
