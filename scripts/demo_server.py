#!/usr/bin/python3
"""A local FTP server for trying Vrex Explorer without a server of one's own.

  demo_server.py [--data-home DIR] [--port-file FILE] [--parent-pid PID]

Serves a copy of the project's demo/ folder read-only to anonymous logins on
127.0.0.1 until it is stopped (SIGTERM, Ctrl+C) or the process PID ends.

When the user has no site book yet, writes one holding the single site
"Demo server (this computer)". A site book that already holds that site gets
its port updated if the old port is taken; any other site book is left alone.

Run it with /usr/bin/python3: Debian's python3-pyftpdlib must be importable.
"""
import argparse
import os
import shutil
import signal
import sys
import tempfile
import time

SITE_DESCRIPTION = "Demo server (this computer)"
HOST = "127.0.0.1"
MAGIC = b"Vrexv1.00\0"
# Slot sizes of one site record: host, description, login, password, directory.
SLOTS = (33, 33, 33, 33, 261)
RECORD_SIZE = sum(SLOTS)
DEMO_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo")

# Ages of the demo files, so the list shows a spread of dates (git keeps none).
AGES = {
    "README.txt": 2 * 3600,
    "docs/guide.md": 3 * 86400,
    "docs/changes.txt": 40 * 86400,
    "docs/manuals/quick-start.txt": 420 * 86400,
    "pub/scripts/backup.sh": 800 * 86400,
    "pub/scripts/wordcount.py": 10 * 86400,
    "pub/data/temperatures.csv": 200 * 86400,
    "web/index.html": 1 * 86400 + 5400,
    "web/style.css": 1 * 86400 + 7200,
    "empty/.keep": 60 * 86400,
}


# --- site book ---------------------------------------------------------------

def default_data_home():
    home = os.environ.get("XDG_DATA_HOME", "")
    return home if os.path.isabs(home) else os.path.expanduser("~/.local/share")


def site_book_path(data_home):
    return os.path.join(data_home, "Orvane", "Vrex Explorer", "myFtpSites.dat")


def encode_slot(text, size):
    """Zero-padded UTF-8, cut on a character boundary so a terminating zero fits."""
    data = text.encode("utf-8")
    if len(data) > size - 1:
        data = data[:size - 1].decode("utf-8", "ignore").encode("utf-8")
    return data + b"\0" * (size - len(data))


def site_record(host, description, login="", password="", directory="/"):
    fields = (host, description, login, password, directory)
    return b"".join(encode_slot(f, size) for f, size in zip(fields, SLOTS))


def decode_slot(data):
    return data.split(b"\0", 1)[0].decode("utf-8", "replace")


def read_records(path):
    """The raw records of a valid site book; None if missing or not a site book."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    if data[:len(MAGIC)] != MAGIC:
        return None
    body = data[len(MAGIC):]
    return [body[i:i + RECORD_SIZE] for i in range(0, len(body), RECORD_SIZE)]


def demo_port(record):
    """The port of our own demo site, or None for any other record."""
    if decode_slot(record[SLOTS[0]:SLOTS[0] + SLOTS[1]]) != SITE_DESCRIPTION:
        return None
    host, _, port = decode_slot(record[:SLOTS[0]]).rpartition(":")
    return int(port) if host == HOST and port.isdigit() else None


def write_site_book(path, records, replace):
    """Writes atomically with mode 0600. Without replace, an existing file wins."""
    folder = os.path.dirname(path)
    os.makedirs(folder, mode=0o700, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".myFtpSites.", dir=folder)  # mode 0600
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(MAGIC + b"".join(records))
            f.flush()
            os.fsync(f.fileno())
        if replace:
            os.replace(tmp, path)
        else:
            try:
                os.link(tmp, path)  # fails if the user's own file appeared meanwhile
            except FileExistsError:
                return False
        return True
    finally:
        if os.path.exists(tmp):
            os.unlink(tmp)


def preferred_port(path):
    """The port that an existing demo site in the site book points at."""
    for record in read_records(path) or []:
        port = demo_port(record)
        if port:
            return port
    return 0


def update_site_book(path, port):
    """Returns a line for the user saying what was done to the site book."""
    records = read_records(path)
    if records is None and os.path.exists(path):
        return "Your site book is not one Vrex Explorer can read; left unchanged."
    if records is None:
        written = write_site_book(path, [site_record(f"{HOST}:{port}", SITE_DESCRIPTION)], False)
        return f"Wrote a site book with the demo site: {path}" if written else ""
    changed = found = False
    for i, record in enumerate(records):
        old = demo_port(record)
        found = found or old is not None
        if old is not None and old != port:
            records[i] = encode_slot(f"{HOST}:{port}", SLOTS[0]) + record[SLOTS[0]:]
            changed = True
    if changed:
        write_site_book(path, records, True)
        return f"Moved the demo site in your site book to port {port}."
    if not found:
        return (f"Your site book has no demo site; to try the server, create a site "
                f"with FTP Site {HOST}:{port} and an anonymous login.")
    return ""


# --- served tree -------------------------------------------------------------

def prepare_tree(source, now=None):
    """A private copy of the demo folder with a spread of modification times."""
    now = time.time() if now is None else now
    root = tempfile.mkdtemp(prefix="vrex-demo-")
    tree = os.path.join(root, "demo")
    shutil.copytree(source, tree)
    for name, age in AGES.items():
        path = os.path.join(tree, name)
        if os.path.exists(path):
            stamp = (now - age) // 60 * 60
            os.utime(path, (stamp, stamp))
    # Folders last: creating files inside them moved their times.
    for folder, _, _ in sorted(os.walk(tree), key=lambda w: -len(w[0])):
        newest = max((os.path.getmtime(os.path.join(folder, n)) for n in os.listdir(folder)),
                     default=now - 30 * 86400)
        os.utime(folder, (newest, newest))
    return root, tree


# --- server ------------------------------------------------------------------

def make_server(tree, port):
    import logging
    from pyftpdlib.log import config_logging
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    config_logging(level=logging.WARNING)  # one line per command is noise here
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(tree)  # read-only: list and retrieve

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "Vrex Explorer demo server: read-only, anonymous logins."
    try:
        return FTPServer((HOST, port), Handler)
    except OSError:
        if port == 0:
            raise
        return FTPServer((HOST, 0), Handler)


def parent_alive(pid):
    if not pid:
        return True
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def write_port_file(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(f"{port}\n")
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data-home", default=default_data_home(),
                        help="folder that holds Orvane/Vrex Explorer/ (default: XDG data home)")
    parser.add_argument("--port-file", help="write the port here once serving")
    parser.add_argument("--parent-pid", type=int, default=0, help="stop when this process ends")
    parser.add_argument("--demo-dir", default=DEMO_DIR, help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    book = site_book_path(args.data_home)
    root, tree = prepare_tree(args.demo_dir)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(True))
    server = make_server(tree, preferred_port(book))
    try:
        port = server.socket.getsockname()[1]
        note = update_site_book(book, port)
        print(f"Demo FTP server on {HOST}:{port} (anonymous, read-only).", flush=True)
        if note:
            print(note, flush=True)
        if args.port_file:
            write_port_file(args.port_file, port)
        while not stopping and parent_alive(args.parent_pid):
            server.serve_forever(timeout=0.5, blocking=False, handle_exit=False)
    finally:
        server.close_all()
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
