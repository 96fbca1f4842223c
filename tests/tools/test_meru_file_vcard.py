"""meru-file export-vcard / import-vcard: round trip through a data file,
password handling, and a damaged vCard file changing nothing.

Run as: python3 test_meru_file_vcard.py /path/to/meru-file
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
    p = subprocess.run([MERU_FILE, *args], input=stdin, capture_output=True, timeout=120)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def data(contacts, password=""):
    return {
        "password": password,
        "pages": ["pagina"],
        "contacts": contacts,
        "mail": {"server": "smtp.example.org", "sender": "me@example.org"},
        "groups": [{"name": "Group %d" % i, "bookmarks": []} for i in range(1, 21)],
        "browser": {"program": "", "folder": ""},
    }


def contact(name, email="", telephone="", cellular="", birthday="", note=""):
    return {"name": name, "email": email, "telephone": telephone, "cellular": cellular,
            "birthday": birthday, "note": note}


class VCardCommands(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.tmp.name, "meru.mer")

    def tearDown(self):
        self.tmp.cleanup()

    def build(self, d):
        rc, _, err = run("build", self.path, stdin=json.dumps(d))
        self.assertEqual(rc, 0, err)

    def dump(self, *extra):
        rc, out, err = run("dump", self.path, *extra)
        self.assertEqual(rc, 0, err)
        return json.loads(out)

    def test_export_then_import_doubles_every_contact_exactly(self):
        people = [contact("Zoë, d'Ávila; jr", "z@x.it", "06-1", "+39 347", "--0415", "a\r\nb, c; d \\"),
                  contact("", "", "", "", "", "")]
        self.build(data(people, password="segreto"))
        rc, vcf, err = run("export-vcard", self.path, "--password", "segreto")
        self.assertEqual(rc, 0, err)
        self.assertTrue(vcf.startswith(b"BEGIN:VCARD\r\nVERSION:4.0\r\n"), vcf[:40])
        self.assertEqual(vcf.count(b"BEGIN:VCARD"), 2)

        rc, _, err = run("import-vcard", self.path, "--password", "segreto", stdin=vcf)
        self.assertEqual(rc, 0, err)
        self.assertIn("2 contacts added.", err)
        after = self.dump("--password", "segreto")
        self.assertEqual(after["contacts"], people + people)
        self.assertEqual(after["password"], "segreto")  # still protected
        self.assertEqual(after["pages"], ["pagina"])

    def test_refusals_leave_the_file_alone(self):
        self.build(data([contact("A")], password="pw"))
        with open(self.path, "rb") as f:
            before = f.read()
        good = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:B\r\nEND:VCARD\r\n"
        cases = [
            (("import-vcard", self.path, "--password", "pw"), "BEGIN:VCARD\r\nFN:B\r\n", 1),
            (("import-vcard", self.path, "--password", "pw"), "not a vcard\n", 1),
            (("import-vcard", self.path, "--password", "pw"), "", 1),
            (("import-vcard", self.path), good, 3),
            (("import-vcard", self.path, "--password", "wrong"), good, 3),
            (("export-vcard", self.path), "", 3),
            (("import-vcard", os.path.join(self.tmp.name, "missing.mer")), good, 4),
            (("import-vcard",), good, 1),
        ]
        for args, stdin, code in cases:
            rc, out, err = run(*args, stdin=stdin)
            self.assertEqual(rc, code, (args, stdin, err))
            self.assertTrue(err.startswith("meru-file: "), err)
            if args[0] == "export-vcard":
                self.assertEqual(out, b"")
        with open(self.path, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "missing.mer")))
        # No temporary file is left beside the data file.
        self.assertEqual(sorted(os.listdir(self.tmp.name)), ["meru.mer"])


if __name__ == "__main__":
    MERU_FILE = sys.argv.pop(1)
    unittest.main()
