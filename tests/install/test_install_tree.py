#!/usr/bin/python3
"""`cmake --install` into a scratch DESTDIR: the tree a desktop looks in, and the
freedesktop validators' verdict on it."""
import configparser
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

BUILD_DIR = os.environ["VREX_BUILD_DIR"]
VERSION = os.environ["VREX_VERSION"]
APP_ID = "example.orvane.VrexExplorer"
PREFIX = "usr/local"
PNG_SIZES = (16, 32, 48, 64, 128, 256)


def expected_files():
    files = {
        "bin/vrex",
        f"share/applications/{APP_ID}.desktop",
        f"share/metainfo/{APP_ID}.metainfo.xml",
        f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    }
    files.update(f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in PNG_SIZES)
    return files


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def run(cmd):
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    print("$ " + " ".join(cmd) + "\n" + proc.stdout, end="", flush=True)
    return proc


class InstallTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.destdir = tempfile.mkdtemp(prefix="vrex-install-")
        cls.root = os.path.join(cls.destdir, PREFIX)
        env = dict(os.environ, DESTDIR=cls.destdir)
        subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/" + PREFIX],
                       env=env, check=True, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.destdir, ignore_errors=True)

    def path(self, rel):
        return os.path.join(self.root, rel)

    def desktop_entry(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str  # keys are case-sensitive
        parser.read(self.path(f"share/applications/{APP_ID}.desktop"))
        return parser["Desktop Entry"]

    def test_tree_holds_exactly_the_program_entry_icons_and_metainfo(self):
        found = set()
        for top, _, names in os.walk(self.destdir):
            found.update(os.path.relpath(os.path.join(top, n), self.root) for n in names)
        self.assertEqual(found, expected_files())
        self.assertTrue(os.access(self.path("bin/vrex"), os.X_OK))

    def test_each_png_is_drawn_at_the_size_its_folder_names(self):
        for n in PNG_SIZES:
            with self.subTest(size=n):
                self.assertEqual(png_size(self.path(f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png")),
                                 (n, n))

    def test_entry_starts_the_installed_program_with_the_installed_icon(self):
        entry = self.desktop_entry()
        self.assertEqual(entry["Name"], "Vrex Explorer")
        self.assertEqual(entry["Exec"].split(), ["vrex", "%u"])
        self.assertTrue({"x-scheme-handler/ftp", "x-scheme-handler/ftps"}
                        <= set(entry["MimeType"].split(";")))
        self.assertTrue(os.path.isfile(self.path("bin/" + entry["Exec"].split()[0])))
        self.assertEqual(entry["Icon"], APP_ID)
        self.assertTrue({"Network", "FileTransfer"} <= set(entry["Categories"].split(";")))
        self.assertTrue(entry["Comment"])

    def test_metainfo_names_the_entry_and_the_project_version(self):
        root = ET.parse(self.path(f"share/metainfo/{APP_ID}.metainfo.xml")).getroot()
        self.assertEqual(root.findtext("id"), APP_ID)
        self.assertEqual(root.findtext("launchable"), APP_ID + ".desktop")
        self.assertEqual(root.findtext("name"), "Vrex Explorer")
        self.assertEqual(root.find("releases/release").get("version"), VERSION)
        self.assertEqual(root.findtext("provides/binary"), "vrex")

    def test_freedesktop_validators_accept_entry_and_metainfo(self):
        for tool in ("desktop-file-validate", "appstreamcli"):
            self.assertIsNotNone(shutil.which(tool),
                                 f"{tool} is missing: run scripts/install-packages.sh")
        checks = {
            "desktop entry": ["desktop-file-validate",
                              self.path(f"share/applications/{APP_ID}.desktop")],
            "metainfo": ["appstreamcli", "validate", "--no-net",
                         self.path(f"share/metainfo/{APP_ID}.metainfo.xml")],
        }
        for what, cmd in checks.items():
            with self.subTest(what):
                proc = run(cmd)
                self.assertEqual(proc.returncode, 0, proc.stdout)
                # desktop-file-validate exits 0 on hints and warnings, which it prints
                if what == "desktop entry":
                    self.assertEqual(proc.stdout.strip(), "")


if __name__ == "__main__":
    sys.dont_write_bytecode = True
    unittest.main(verbosity=2)
