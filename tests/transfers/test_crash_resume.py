#!/usr/bin/python3
"""Kills the real program (SIGKILL) part way through a 100 MiB download of
its queue and starts it again: the file must complete byte-exact, the server
having sent no more than 105 % of it. Then kills it while it saves a large
queue: the queue file must be the old or a new one, never a broken one.

  test_crash_resume.py VREX_BINARY FTP_FIXTURE_SCRIPT
"""
import base64, hashlib, json, os, random, signal, struct, subprocess, sys, tempfile, time

SIZE = 100 << 20
RATE = 8 << 20  # bytes a second, so the kill lands part way


def check(ok, why):
    if not ok:
        sys.exit("FAIL: " + why)


def wait_for(what, done, timeout=240):
    deadline = time.time() + timeout
    while not done():
        check(time.time() < deadline, "timed out waiting for " + what)
        time.sleep(0.02)


def item(port, remote, local, size):
    entry = struct.pack("<I24xII8x", 0x80, size >> 32, size & 0xFFFFFFFF)
    entry += os.path.basename(remote).encode().ljust(276, b"\0")
    return {"name": remote, "saveFile": local, "entry": base64.b64encode(entry).decode(),
            "actions": "Download", "host": "127.0.0.1:%d" % port, "login": "vrex",
            "password": "secret", "state": "waiting"}


class Program:
    def __init__(self, vrex, root):
        self.vrex, self.proc = vrex, None
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=root, TMPDIR=root,
                        XDG_CONFIG_HOME=root + "/config", XDG_DATA_HOME=root + "/data",
                        XDG_RUNTIME_DIR=root + "/run")
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        os.makedirs(root + "/run", mode=0o700)
        self.data = root + "/data/Orvane/Vrex Explorer"
        os.makedirs(self.data)
        self.queue_file = self.data + "/myQueue.json"

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
        with open(self.queue_file, "rb") as f:
            doc = json.loads(f.read())  # a broken file fails here
        check(doc["format"] == "vrex-queue", "not a queue file")
        return doc["items"]


def size_of(path):
    return os.path.getsize(path) if os.path.exists(path) else -1


def crash_during_download(program, state, port, downloads):
    content = os.urandom(SIZE)
    with open(state + "/user/big.bin", "wb") as f:
        f.write(content)
    target, partial = downloads + "/big.bin", downloads + "/.big.bin.vrexpart"
    program.write_queue([item(port, "/big.bin", target, SIZE)])
    program.start()
    wait_for("a third of the file", lambda: size_of(partial) >= SIZE // 3)
    program.kill()
    kept = size_of(partial)
    check(0 < kept < SIZE and not os.path.exists(target), "partial file of %d bytes" % kept)
    check([i["state"] for i in program.saved_items()] == ["in-progress"], "item not under way")

    program.start()
    wait_for("the whole file and an empty queue",
             lambda: size_of(target) == SIZE and program.saved_items() == [])
    program.kill()
    with open(target, "rb") as f:
        check(hashlib.sha256(f.read()).digest() == hashlib.sha256(content).digest(),
              "the file is not byte-exact")
    check(not os.path.exists(partial) and not os.path.exists(partial + ".origin"), "partial left")
    with open(state + "/commands.log") as f:
        check("REST %d\n" % kept in f.read(), "no resume at byte %d" % kept)
    sent = int(open(state + "/sent-bytes").read())
    print("killed at %d bytes; the server sent %.1f %% of the file" % (kept, 100.0 * sent / SIZE))
    check(sent <= SIZE * 1.05, "the server sent %d bytes" % sent)


def crash_during_saves(program, port, downloads):
    count = 20000
    program.write_queue([item(port, "/tenk.bin", downloads + "/f%05d.bin" % i, 10000)
                         for i in range(count)])
    before = count
    for round_ in range(3):
        program.start()
        for _ in range(2):  # two saves replace the file: saving is under way
            inode = os.stat(program.queue_file).st_ino
            wait_for("a save", lambda: os.stat(program.queue_file).st_ino != inode)
        time.sleep(random.uniform(0, 0.5))  # the kill lands anywhere in the save cycle
        program.kill()
        left = len(program.saved_items())
        done = len([n for n in os.listdir(downloads) if n.startswith("f")])
        print("round %d: %d items saved, %d files fetched" % (round_, left, done))
        check(count - done - 1 <= left <= before, "%d items saved" % left)
        before = left
    check(os.listdir(program.data) == ["myQueue.json"], "left over: %s" % os.listdir(program.data))


def main():
    vrex, fixture = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as root:
        state = root + "/server"
        os.makedirs(state)
        open(state + "/log-commands", "w").close()
        with open(state + "/data-rate", "w") as f:
            f.write(str(RATE))
        subprocess.run([sys.executable, fixture, "start", state], check=True)
        try:
            port = int(open(state + "/port").read())
            program = Program(vrex, root)
            os.makedirs(root + "/downloads")
            crash_during_download(program, state, port, root + "/downloads")
            crash_during_saves(program, port, root + "/downloads")
        finally:
            subprocess.run([sys.executable, fixture, "stop", state])
    print("PASS")


main()
