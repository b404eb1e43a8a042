#!/usr/bin/python3
"""Tests of scripts/demo_server.py: the site book it writes and the server."""
import ftplib
import os
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "demo_server.py")
sys.path.insert(0, os.path.dirname(SCRIPT))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import demo_server as ds  # noqa: E402

HOST_SLOT = slice(0, 33)
DESC_SLOT = slice(33, 66)


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


class SiteBookFormat(unittest.TestCase):
    def test_record_has_the_five_slots_at_their_offsets(self):
        rec = ds.site_record("h:21", "Desc", "me", "pw", "/pub")
        self.assertEqual(len(rec), 393)
        self.assertEqual(rec[0:5], b"h:21\0")
        self.assertEqual(rec[33:38], b"Desc\0")
        self.assertEqual(rec[66:69], b"me\0")
        self.assertEqual(rec[99:102], b"pw\0")
        self.assertEqual(rec[132:137], b"/pub\0")

    def test_long_text_is_cut_on_a_character_boundary_and_keeps_its_zero(self):
        slot = ds.encode_slot("é" * 40, 33)
        self.assertEqual(len(slot), 33)
        self.assertEqual(slot[-1:], b"\0")
        self.assertEqual(slot.rstrip(b"\0").decode("utf-8"), "é" * 16)
        self.assertEqual(ds.encode_slot("a" * 40, 33), b"a" * 32 + b"\0")


class SiteBookWriting(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.book = ds.site_book_path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def write_raw(self, data):
        os.makedirs(os.path.dirname(self.book), exist_ok=True)
        with open(self.book, "wb") as f:
            f.write(data)

    def read_raw(self):
        with open(self.book, "rb") as f:
            return f.read()

    def test_no_site_book_gets_one_with_only_the_demo_site_private_to_the_user(self):
        ds.update_site_book(self.book, 4321)
        data = self.read_raw()
        self.assertTrue(self.book.endswith("/Orvane/Vrex Explorer/myFtpSites.dat"))
        self.assertEqual(len(data), 10 + 393)
        self.assertEqual(data[:10], b"Vrexv1.00\0")
        self.assertEqual(data[10:], ds.site_record("127.0.0.1:4321", "Demo server (this computer)",
                                                   "", "", "/"))
        self.assertEqual(mode(self.book), 0o600)
        self.assertEqual(mode(os.path.dirname(self.book)), 0o700)
        self.assertEqual(os.listdir(os.path.dirname(self.book)), ["myFtpSites.dat"])

    def test_users_own_site_book_is_left_byte_for_byte(self):
        own = b"Vrexv1.00\0" + ds.site_record("ftp.example.org", "Mine", "me", "secret", "/")
        self.write_raw(own)
        note = ds.update_site_book(self.book, 4321)
        self.assertEqual(self.read_raw(), own)
        self.assertIn("127.0.0.1:4321", note)

    def test_unreadable_site_book_is_left_alone(self):
        self.write_raw(b"not a site book at all")
        ds.update_site_book(self.book, 4321)
        self.assertEqual(self.read_raw(), b"not a site book at all")

    def test_empty_site_book_with_magic_is_the_users_and_stays_empty(self):
        self.write_raw(b"Vrexv1.00\0")
        ds.update_site_book(self.book, 4321)
        self.assertEqual(self.read_raw(), b"Vrexv1.00\0")

    def test_demo_site_on_a_stale_port_moves_and_nothing_else_changes(self):
        mine = ds.site_record("ftp.example.org", "Mine", "me", "secret", "/")
        demo = ds.site_record("127.0.0.1:1111", "Demo server (this computer)")
        self.write_raw(b"Vrexv1.00\0" + mine + demo)
        self.assertEqual(ds.preferred_port(self.book), 1111)
        ds.update_site_book(self.book, 2222)
        data = self.read_raw()
        self.assertEqual(len(data), 10 + 2 * 393)
        self.assertEqual(data[10:403], mine)
        self.assertEqual(data[403 + 33:], demo[33:])
        self.assertEqual(data[403:403 + 33], ds.encode_slot("127.0.0.1:2222", 33))
        self.assertEqual(mode(self.book), 0o600)

    def test_demo_site_on_the_right_port_is_not_rewritten(self):
        self.write_raw(b"Vrexv1.00\0" + ds.site_record("127.0.0.1:1111", ds.SITE_DESCRIPTION))
        before = os.stat(self.book)
        self.assertEqual(ds.update_site_book(self.book, 1111), "")
        after = os.stat(self.book)
        # A rewrite puts a new file in place, so it would show as another
        # inode however little time passed.
        self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns))

    def test_a_site_named_like_the_demo_on_another_host_is_the_users(self):
        self.write_raw(b"Vrexv1.00\0" + ds.site_record("ftp.example.org:21", ds.SITE_DESCRIPTION))
        self.assertEqual(ds.preferred_port(self.book), 0)
        ds.update_site_book(self.book, 2222)
        self.assertEqual(self.read_raw()[10:10 + 18], b"ftp.example.org:21")


class ServedTree(unittest.TestCase):
    def test_copy_has_varied_dates_and_leaves_the_source_untouched(self):
        source_times = {n: os.path.getmtime(os.path.join(ds.DEMO_DIR, n)) for n in ds.AGES}
        root, tree = ds.prepare_tree(ds.DEMO_DIR, now=2_000_000_000)
        try:
            times = {n: os.path.getmtime(os.path.join(tree, n)) for n in ds.AGES}
            days = {int(t // 86400) for t in times.values()}
            self.assertGreaterEqual(len(days), 6)
            self.assertTrue(all(t <= 2_000_000_000 for t in times.values()))
            # An old file makes a listing show a year instead of a time.
            self.assertLess(min(times.values()), 2_000_000_000 - 365 * 86400)
        finally:
            ds.shutil.rmtree(root)
        self.assertFalse(os.path.exists(root))
        self.assertEqual(source_times,
                         {n: os.path.getmtime(os.path.join(ds.DEMO_DIR, n)) for n in ds.AGES})

    def test_every_dated_name_exists_in_the_demo_folder(self):
        for name in ds.AGES:
            self.assertTrue(os.path.isfile(os.path.join(ds.DEMO_DIR, name)), name)


class RunningServer(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.port_file = os.path.join(self.tmp.name, "port")
        self.proc = None

    def tearDown(self):
        if self.proc:
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            self.proc.stdout.close()
        self.tmp.cleanup()

    def start(self, *extra):
        if os.path.exists(self.port_file):
            os.unlink(self.port_file)
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", SCRIPT, "--data-home", os.path.join(self.tmp.name, "data"),
             "--port-file", self.port_file, *extra],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        deadline = time.time() + 15
        while not os.path.exists(self.port_file):
            self.assertIsNone(self.proc.poll(), "server exited early")
            self.assertLess(time.time(), deadline, "server did not start")
            time.sleep(0.05)
        with open(self.port_file) as f:
            return int(f.read())

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.proc.wait(timeout=10), 0)

    def connect(self, port):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", port, timeout=10)
        return ftp

    def test_anonymous_read_only_listing_of_the_demo_folder(self):
        port = self.start()
        ftp = self.connect(port)
        try:
            self.assertIn("demo server", ftp.getwelcome())
            ftp.login()
            root = dict(ftp.mlsd("/"))
            self.assertTrue({"README.txt", "docs", "pub", "web", "empty"} <= set(root))
            self.assertEqual(root["docs"]["type"], "dir")
            kinds = {os.path.splitext(n)[1] for _, _, names in os.walk(ds.DEMO_DIR) for n in names}
            self.assertTrue({".txt", ".sh", ".html", ".csv", ".md"} <= kinds)
            with self.assertRaises(ftplib.error_perm), open(__file__, "rb") as upload:
                ftp.storbinary("STOR new.txt", upload)
            with self.assertRaises(ftplib.error_perm):
                ftp.delete("README.txt")
            lines = []
            ftp.retrlines("RETR /README.txt", lines.append)
            self.assertIn("demo server", lines[0])
        finally:
            ftp.close()
        self.stop()

    def test_other_logins_are_refused(self):
        ftp = self.connect(self.start())
        try:
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.login("vrex", "secret")
            self.assertTrue(str(refused.exception).startswith("530"))
        finally:
            ftp.close()
        self.stop()

    def test_second_start_keeps_the_port_of_the_site_book(self):
        first = self.start()
        self.stop()
        self.assertEqual(self.start(), first)
        self.stop()
        book = ds.site_book_path(os.path.join(self.tmp.name, "data"))
        self.assertEqual(ds.preferred_port(book), first)

    def test_server_stops_with_its_parent_and_removes_its_copy(self):
        def copies():
            return {n for n in os.listdir(tempfile.gettempdir()) if n.startswith("vrex-demo-")}

        before = copies()
        parent = subprocess.Popen(["sleep", "30"])
        try:
            self.start("--parent-pid", str(parent.pid))
            ours = copies() - before
            self.assertEqual(len(ours), 1)
        finally:
            parent.kill()
            parent.wait()
        self.assertEqual(self.proc.wait(timeout=10), 0)
        self.assertIn("Demo FTP server on 127.0.0.1:", self.proc.stdout.read())
        self.assertFalse(ours & copies())


if __name__ == "__main__":
    unittest.main(verbosity=2)
