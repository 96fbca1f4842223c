#!/usr/bin/env python3
"""The Debian package, installed into a throw-away root.

  test_package.py DEB_DIR VERSION

DEB_DIR holds the one .deb made by build_deb.py. The package is installed
with `dpkg --root` into a temporary folder (its own dpkg database, nothing
outside it is touched); the binaries are run from there, the menu entry,
icons and manual pages are checked with the desktop's own tools, and lintian
must report no errors (its warnings are printed).
"""
import glob
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

DEB_DIR = None
VERSION = None


def run(cmd, **kw):
    kw.setdefault("capture_output", True)
    kw.setdefault("text", True)
    kw.setdefault("timeout", 300)
    return subprocess.run(cmd, **kw)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def desktop_entry(path):
    """Keys of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                k, v = line.split("=", 1)
                keys[k.strip()] = v.strip()
    return keys


class Package(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        debs = glob.glob(os.path.join(DEB_DIR, "*.deb"))
        if len(debs) != 1:
            raise RuntimeError(f"expected one .deb in {DEB_DIR}, found {debs}")
        cls.deb = debs[0]
        cls.tmp = tempfile.mkdtemp(prefix="meru-pkg-")
        cls.root = os.path.join(cls.tmp, "root")
        admin = os.path.join(cls.root, "var", "lib", "dpkg")
        for d in ("info", "updates", "triggers"):
            os.makedirs(os.path.join(admin, d))
        for f in ("status", "available"):
            open(os.path.join(admin, f), "w").close()
        # The Qt libraries it depends on live in the real system, not in the
        # throw-away root's empty database.
        cls.dpkg = ["dpkg", f"--root={cls.root}", "--force-depends", "--force-not-root",
                    "--force-script-chrootless", "--log=/dev/null"]
        r = run(cls.dpkg + ["--install", cls.deb])
        if r.returncode != 0:
            raise RuntimeError(f"dpkg --install failed:\n{r.stdout}{r.stderr}")
        cls.usr = os.path.join(cls.root, "usr")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def field(self, name):
        return run(["dpkg-deb", "--field", self.deb, name], check=True).stdout.strip()

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "meru")
        self.assertEqual(self.field("Version"), VERSION)
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^@<>\s]+@[^@<>\s]+\.[a-z]+>$")
        self.assertEqual(self.field("Section"), "utils")
        description = self.field("Description").splitlines()
        self.assertGreater(len(description), 3, "a summary and a long description")
        self.assertIn("meru-file", " ".join(description))
        # dpkg-shlibdeps found the libraries the binaries link (libqt6gui6
        # also brings the X11 platform plugin), each named once
        depends = [re.split(r"[\s(]", d.strip())[0] for d in self.field("Depends").split(",")]
        self.assertEqual(len(depends), len(set(depends)), depends)
        # libssl3 is named by hand: the programs load it only for mail over TLS
        for pkg in ("libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                    "libqt6svg6", "libxcb1", "libssl3", "libwayland-client0"):
            self.assertIn(pkg, depends)

    def test_files_in_place(self):
        for rel in ("bin/meru", "bin/meru-file", "share/applications/meru.desktop",
                    "share/icons/hicolor/scalable/apps/meru.svg",
                    "share/man/man1/meru.1.gz", "share/man/man1/meru-file.1.gz",
                    "share/doc/meru/copyright", "share/doc/meru/changelog.gz"):
            self.assertTrue(os.path.isfile(os.path.join(self.usr, rel)), rel)
        for rel in ("bin/meru", "bin/meru-file"):
            self.assertTrue(os.access(os.path.join(self.usr, rel), os.X_OK), rel)
        # every PNG is the size its folder names
        pngs = glob.glob(os.path.join(self.usr, "share/icons/hicolor/*x*/apps/meru.png"))
        self.assertGreaterEqual(len(pngs), 4, "PNG icons in the hicolor theme")
        for p in pngs:
            folder = os.path.basename(os.path.dirname(os.path.dirname(p)))
            w, h = map(int, folder.split("x"))
            self.assertEqual(png_size(p), (w, h), p)
        # the changelog's newest entry is this version
        with gzip.open(os.path.join(self.usr, "share/doc/meru/changelog.gz"), "rt") as f:
            self.assertRegex(f.readline(), r"^meru \(" + re.escape(VERSION) + r"\) ")

    def test_openssl_loaded_not_linked(self):
        # OpenSSL is opened at run time for mail over TLS only: the programs
        # start without libssl and libcrypto
        for rel in ("bin/meru", "bin/meru-file"):
            r = run(["readelf", "-d", os.path.join(self.usr, rel)], check=True)
            needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", r.stdout)
            self.assertIn("libc.so.6", needed, rel)
            self.assertEqual([n for n in needed if n.startswith(("libssl", "libcrypto"))], [], rel)

    def test_binaries_run(self):
        env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update(HOME=self.tmp, XDG_RUNTIME_DIR=runtime)     # and no DISPLAY
        meru = os.path.join(self.usr, "bin", "meru")
        r = run([meru, "--version"], env=env, cwd=self.tmp)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, f"MERU version {VERSION}\n", ""))
        r = run([meru, "some.mer", "-Automation", "--help"], env=env, cwd=self.tmp)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertTrue(r.stdout.startswith("Usage: meru [FILE]\n"), r.stdout)
        self.assertIn("--version", r.stdout)
        # they end before the single-instance lock and the data file
        self.assertEqual(os.listdir(runtime), [])
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "some.mer")))
        r = run([os.path.join(self.usr, "bin", "meru-file"), "--help"], env=env)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("meru-file dump FILE", r.stdout)

    def test_desktop_entry(self):
        path = os.path.join(self.usr, "share/applications/meru.desktop")
        r = run(["desktop-file-validate", path])
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        if r.stdout.strip():
            print(f"desktop-file-validate: {r.stdout.strip()}", file=sys.stderr)
        e = desktop_entry(path)
        self.assertEqual(e.get("Type"), "Application")
        self.assertIn("Utility", e.get("Categories", "").split(";"))
        for key in ("Name", "GenericName", "Comment"):
            self.assertTrue(e.get(key), key)
        # Exec names the installed program by name (found on PATH), with no
        # file argument, so the menu and autostart both use ~/meru.mer
        self.assertEqual(e.get("Exec"), "meru")
        self.assertTrue(os.access(os.path.join(self.usr, "bin", e["Exec"]), os.X_OK))
        self.assertTrue(glob.glob(os.path.join(self.usr, "share/icons/hicolor/*/apps",
                                               e.get("Icon", "?") + ".*")))
        # what an autostart entry must not carry
        for key in ("Hidden", "NoDisplay", "OnlyShowIn", "NotShowIn", "TryExec"):
            self.assertNotIn(key, e)
        self.assertEqual(e.get("X-GNOME-Autostart-enabled", "true"), "true")

    def test_manual_pages_render(self):
        for page, must in (("meru", ("meru.mer", "--version", "autostart")),
                           ("meru-file", ("dump", "build", "EXIT STATUS"))):
            with self.subTest(page=page):
                path = os.path.join(self.usr, "share/man/man1", page + ".1.gz")
                r = run(["man", "--warnings", "-E", "UTF-8", "-P", "cat", "-l", path],
                        env={"PATH": os.environ["PATH"], "LANG": "C.UTF-8", "MANWIDTH": "80"})
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(r.stderr, "", "groff/man warnings")
                self.assertRegex(r.stdout, r"NAME\s+" + re.escape(page) + r" [-‐] ")
                for text in must:
                    self.assertIn(text, r.stdout)

    def test_lintian_finds_no_errors(self):
        if shutil.which("lintian") is None:
            self.fail("lintian is not installed (scripts/install-deps.sh installs it)")
        r = run(["lintian", "--fail-on", "error", "--display-info", "--no-tag-display-limit",
                 self.deb], timeout=600)
        if r.stdout.strip():
            print("lintian:\n" + r.stdout.rstrip(), file=sys.stderr)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertNotRegex(r.stdout, r"(?m)^E: ")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    DEB_DIR, VERSION = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
