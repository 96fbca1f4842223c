"""meru-file export-bookmarks / import-bookmarks.

Run as: python3 test_meru_file_bookmarks.py /path/to/meru-file
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

MERU_FILE = None


def run(*args, stdin=b""):
    if isinstance(stdin, str):
        stdin = stdin.encode("utf-8")
    p = subprocess.run([MERU_FILE, *args], input=stdin, capture_output=True, timeout=60)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def empty_data(password=""):
    return {
        "password": password, "pages": [], "contacts": [],
        "mail": {"server": "", "sender": ""},
        "groups": [{"name": "Group %d" % i, "bookmarks": []} for i in range(1, 21)],
        "browser": {"program": "", "folder": ""},
    }


class BookmarksCommands(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "data.mer")

    def tearDown(self):
        self.dir.cleanup()

    def build(self, data):
        rc, _, err = run("build", self.path, stdin=json.dumps(data))
        self.assertEqual(rc, 0, err)

    def dump(self, *extra):
        rc, out, err = run("dump", self.path, *extra)
        self.assertEqual(rc, 0, err)
        return json.loads(out)

    def test_export_then_import_into_another_file(self):
        data = empty_data("segreto")
        data["groups"][0]["name"] = "Caff\u00e8 & <amici>"
        data["groups"][0]["bookmarks"] = [
            {"name": "Tom & \"Jerry\"", "url": "https://example.org/?a=1&b=2"},
            {"name": "\u65e5\u672c", "url": "example.jp"},
        ]
        data["groups"][7]["bookmarks"] = [{"name": "eight", "url": "http://8.example/"}]
        self.build(data)

        rc, html, err = run("export-bookmarks", self.path, "--password", "segreto")
        self.assertEqual(rc, 0, err)
        text = html.decode("utf-8")
        self.assertTrue(text.startswith("<!DOCTYPE NETSCAPE-Bookmark-file-1>"))
        self.assertIn("<H3>Caff\u00e8 &amp; &lt;amici&gt;</H3>", text)
        self.assertIn('HREF="https://example.org/?a=1&amp;b=2"', text)

        # Into group 5 of a second file that already holds one of the links.
        other = empty_data()
        other["groups"][4]["bookmarks"] = [{"name": "mine", "url": "example.jp"}]
        first = self.path
        self.path = os.path.join(self.dir.name, "other.mer")
        self.build(other)
        rc, out, err = run("import-bookmarks", self.path, "5", stdin=html)
        self.assertEqual(rc, 0, err)
        self.assertEqual(out.decode().strip(), "2 bookmarks added, 1 skipped (already in the group).")
        marks = self.dump()["groups"][4]["bookmarks"]
        self.assertEqual(marks, [
            {"name": "mine", "url": "example.jp"},
            {"name": "Tom & \"Jerry\"", "url": "https://example.org/?a=1&b=2"},
            {"name": "eight", "url": "http://8.example/"},
        ])
        # No temporary file is left beside the data file.
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["data.mer", "other.mer"])
        # The password of a protected file stays: importing keeps it locked.
        self.path = first
        rc, _, _ = run("import-bookmarks", self.path, "1", stdin=html)
        self.assertEqual(rc, 3)
        rc, out, err = run("import-bookmarks", self.path, "2", "--password=segreto", stdin=html)
        self.assertEqual(rc, 0, err)
        self.assertEqual(len(self.dump("--password", "segreto")["groups"][1]["bookmarks"]), 3)
        self.assertEqual(run("dump", self.path)[0], 3)

    def test_refusals_change_nothing(self):
        self.build(empty_data())
        before = open(self.path, "rb").read()
        cases = [
            (("import-bookmarks", self.path, "1"), b"<html><a href='x'>x</a></html>", 1,
             "not a bookmark file"),
            (("import-bookmarks", self.path, "1"),
             b"<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT><A HREF=\"http://x", 1, "damaged"),
            (("import-bookmarks", self.path, "21"), b"", 1, "GROUP must be"),
            (("import-bookmarks", self.path, "0"), b"", 1, "GROUP must be"),
            (("import-bookmarks", self.path), b"", 1, "needs a FILE and a GROUP"),
            (("import-bookmarks", os.path.join(self.dir.name, "missing.mer"), "1"),
             b"<!DOCTYPE NETSCAPE-Bookmark-file-1>", 4, "No such file"),
            (("export-bookmarks",), b"", 1, "exactly one FILE"),
            (("export-bookmarks", self.path, "--bogus"), b"", 1, "unknown option"),
        ]
        for args, stdin, code, message in cases:
            with self.subTest(args=args):
                rc, _, err = run(*args, stdin=stdin)
                self.assertEqual(rc, code, err)
                self.assertIn(message, err)
        self.assertEqual(open(self.path, "rb").read(), before)
        with open(os.path.join(self.dir.name, "junk.mer"), "wb") as f:
            f.write(b"not a data file")
        self.assertEqual(run("export-bookmarks", os.path.join(self.dir.name, "junk.mer"))[0], 2)


if __name__ == "__main__":
    MERU_FILE = sys.argv.pop(1)
    unittest.main()
