#!/usr/bin/python3
"""Kills the real program (SIGKILL) part way through a 100 MiB download of
its queue and starts it again: the file must complete byte-exact, the server
having sent no more than 105 % of it. Then kills it while it saves a large
queue: the queue file must be the old or the new one, never a broken one.

  test_crash_resume.py VREX_BINARY FTP_FIXTURE_SCRIPT
"""
import base64
import hashlib
import json
import os
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

SIZE = 100 << 20
RATE = 8 << 20  # bytes a second: the kill lands part way
WAIT = 240


def fail(why):
    sys.exit("FAIL: " + why)


def wait_for(what, check, timeout=WAIT):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if check():
            return
        time.sleep(0.02)
    fail("timed out waiting for " + what)


def entry(name, size):
    raw = struct.pack("<I24xII8x", 0x80, size >> 32, size & 0xFFFFFFFF)
    raw += name.encode().ljust(276, b"\0")
    assert len(raw) == 320
    return base64.b64encode(raw).decode()


def item(port, remote, local, size):
    return {"name": remote, "saveFile": local, "entry": entry(os.path.basename(remote), size),
            "actions": "Download", "host": "127.0.0.1:%d" % port, "login": "vrex",
            "password": "secret", "state": "waiting"}


class Program:
    def __init__(self, vrex, root):
        self.vrex = vrex
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=root, TMPDIR=root,
                        XDG_CONFIG_HOME=os.path.join(root, "config"),
                        XDG_DATA_HOME=os.path.join(root, "data"),
                        XDG_RUNTIME_DIR=os.path.join(root, "run"))
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.data = os.path.join(root, "data", "Orvane", "Vrex Explorer")
        os.makedirs(self.data, exist_ok=True)
        self.queue_file = os.path.join(self.data, "myQueue.json")
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen([self.vrex, "--start-queue"], env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(timeout=60)

    def write_queue(self, items):
        with open(self.queue_file, "w") as f:
            json.dump({"format": "vrex-queue", "version": 1, "items": items}, f)

    def saved_items(self):
        """The queue file's items; a broken file fails the test."""
        with open(self.queue_file, "rb") as f:
            doc = json.loads(f.read())
        if doc.get("format") != "vrex-queue" or not isinstance(doc.get("items"), list):
            fail("the queue file is not a queue: %r" % doc)
        return doc["items"]


def size_of(path):
    return os.path.getsize(path) if os.path.exists(path) else -1


def crash_during_download(program, state, port, downloads):
    source = os.path.join(state, "user", "big.bin")
    content = os.urandom(SIZE)
    with open(source, "wb") as f:
        f.write(content)
    target = os.path.join(downloads, "big.bin")
    partial = os.path.join(downloads, ".big.bin.vrexpart")
    program.write_queue([item(port, "/big.bin", target, SIZE)])

    program.start()
    wait_for("a third of the file", lambda: size_of(partial) >= SIZE // 3)
    program.kill()
    kept = size_of(partial)
    if not 0 < kept < SIZE or os.path.exists(target):
        fail("after the kill: partial %d bytes, target there: %s" % (kept, os.path.exists(target)))
    if [i["state"] for i in program.saved_items()] != ["in-progress"]:
        fail("the saved queue does not show the item under way")

    program.start()
    wait_for("the whole file and an empty queue",
             lambda: size_of(target) == SIZE and program.saved_items() == [])
    program.kill()
    with open(target, "rb") as f:
        if hashlib.sha256(f.read()).digest() != hashlib.sha256(content).digest():
            fail("the file is not byte-exact")
    if os.path.exists(partial) or os.path.exists(partial + ".origin"):
        fail("the partial file stayed")
    with open(os.path.join(state, "commands.log")) as f:
        if "REST %d\n" % kept not in f.read():
            fail("the second run did not resume at byte %d" % kept)
    sent = int(open(os.path.join(state, "sent-bytes")).read())
    print("kill at %d bytes; the server sent %d bytes, %.1f %% of the file"
          % (kept, sent, 100.0 * sent / SIZE))
    if sent > SIZE * 1.05:
        fail("the server sent %d bytes for a file of %d" % (sent, SIZE))


def crash_during_saves(program, port, downloads):
    count = 20000
    program.write_queue([item(port, "/tenk.bin", os.path.join(downloads, "f%05d.bin" % i), 10000)
                         for i in range(count)])
    before = count
    for round_ in range(3):
        program.start()
        inode = os.stat(program.queue_file).st_ino
        # Saves replace the file: two replacements show saving under way.
        for _ in range(2):
            wait_for("a save", lambda: os.stat(program.queue_file).st_ino != inode)
            inode = os.stat(program.queue_file).st_ino
        time.sleep(random.uniform(0, 0.5))  # the kill lands anywhere in the save cycle
        program.kill()
        left = len(program.saved_items())
        done = len([n for n in os.listdir(downloads) if n.startswith("f")])
        print("round %d: %d items saved, %d files fetched" % (round_, left, done))
        if not count - done - 1 <= left <= before:
            fail("the saved queue holds %d items, %d files were fetched" % (left, done))
        before = left
    leftovers = sorted(set(os.listdir(program.data)) - {"myQueue.json"})
    if leftovers:
        fail("files left in the data folder: %s" % leftovers)


def main():
    vrex, fixture = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as root:
        state = os.path.join(root, "server")
        os.makedirs(state)
        for marker, text in (("log-commands", ""), ("data-rate", str(RATE))):
            with open(os.path.join(state, marker), "w") as f:
                f.write(text)
        subprocess.run([sys.executable, fixture, "start", state], check=True)
        try:
            port = int(open(os.path.join(state, "port")).read())
            program = Program(vrex, root)
            downloads = os.path.join(root, "downloads")
            os.makedirs(downloads)
            crash_during_download(program, state, port, downloads)
            crash_during_saves(program, port, downloads)
        finally:
            subprocess.run([sys.executable, fixture, "stop", state])
    print("PASS")


if __name__ == "__main__":
    main()
