#!/usr/bin/python3
"""An FTP server that loses its connection in the middle of a download.

Prints its port on the first line of standard output, serves one client:
logs it in, and answers RETR by sending DROP_BYTES bytes on the data
connection, then closing the data and the control connection without the
final reply. Exits when the client has gone.
"""
import socket
import sys

DROP_BYTES = 5000


def main():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    listener.settimeout(30)
    control, _ = listener.accept()
    control.settimeout(30)
    reader = control.makefile("rb")
    data_listener = None

    def send(line):
        control.sendall(line.encode() + b"\r\n")

    send("220 drop server")
    for raw in reader:
        verb = raw.decode(errors="replace").strip().split(" ")[0].upper()
        if verb == "USER":
            send("331 password please")
        elif verb == "PASS":
            send("230 logged in")
        elif verb in ("TYPE", "OPTS"):
            send("200 ok")
        elif verb == "EPSV":
            data_listener = socket.socket()
            data_listener.bind(("127.0.0.1", 0))
            data_listener.listen(1)
            send("229 Entering Extended Passive Mode (|||%d|)" % data_listener.getsockname()[1])
        elif verb == "RETR" and data_listener:
            send("150 here it comes")
            data, _ = data_listener.accept()
            data.sendall(bytes(DROP_BYTES))
            data.close()
            break
        elif verb == "QUIT":
            send("221 bye")
            break
        else:
            send("502 not here")
    control.close()


if __name__ == "__main__":
    sys.exit(main())
