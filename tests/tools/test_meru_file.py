"""meru-file: dump/build round trips, exit codes and messages.

Run as: python3 test_meru_file.py /path/to/meru-file
"""
import copy
import json
import os
import resource
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

MERU_FILE = None

MSG_BAD_TAG = "La versione del file non è MER 2.1 o superiore!"
MSG_BAD_VERSION = "Versione non corretta!"
MSG_READ_ERROR = "È stato fatto un tentativo di accedere a un file senza nome oltre la sua fine."
MSG_PW_REQUIRED = "Password Richiesta!"
MSG_PW_WRONG = "Password Errata!"


def run(*args, stdin=b""):
    if isinstance(stdin, str):
        stdin = stdin.encode("utf-8")
    p = subprocess.run([MERU_FILE, *args], input=stdin, capture_output=True, timeout=60)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


# ---- an encoder of our own for the file layout, to check the tool against

def counted(b):
    n = len(b)
    if n < 0xFF:
        return bytes([n]) + b
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n) + b
    return b"\xff\xff\xff" + struct.pack("<I", n) + b


def wide(text_utf16le):
    n = len(text_utf16le) // 2
    prefix = bytes([n]) if n < 0xFF else b"\xff" + struct.pack("<H", n)
    return b"\xff\xfe\xff" + prefix + text_utf16le


def header(version, password=b""):
    return counted(b"MER") + struct.pack("<i", version) + counted(password)


def body_v21(pages, contacts=(), server=b"", sender=b""):
    out = struct.pack("<H", len(pages)) + b"".join(pages)
    out += struct.pack("<i", len(contacts))
    for c in contacts:
        out += b"".join(counted(f) for f in c)
    return out + counted(server) + counted(sender)


def default_groups_bytes():
    return b"".join(counted(b"Group %d" % i) + struct.pack("<i", 0) for i in range(1, 21))


def default_json():
    return {
        "format_version": 22,
        "password": "",
        "pages": [""],
        "contacts": [],
        "mail": {"server": "", "sender": ""},
        "groups": [{"name": "Group %d" % i, "bookmarks": []} for i in range(1, 21)],
        "browser": {"program": "", "folder": ""},
    }


def rich_json(password):
    d = default_json()
    d["password"] = password
    d["pages"] = [
        "Prima riga\r\nseconda riga: è à ù € “quote”\r\n",
        "",
        "emoji 😀🎉 and CJK 日本語 中文, mixed with café",
        "x" * 254,            # longest one-byte prefix
        "y" * 255,            # first two-byte prefix
        "z" * 70000,          # four-byte prefix
        "ü" * 300,            # non-ASCII, 8-bit form, two-byte prefix
        "\u0081\u008d byte holes of the code page",
        "한" * 40000,          # wide form with a two-byte length
        "nul \u0000 inside",
    ]
    d["contacts"] = [
        {"name": "Zoë Łukasz", "email": "zoe@example.org", "telephone": "+39 02 1234",
         "cellular": "333 1234567", "birthday": "01/02/1990", "note": "line 1\r\nline 2 ✓"},
        {"name": "", "email": "", "telephone": "", "cellular": "", "birthday": "", "note": ""},
    ]
    d["mail"] = {"server": "smtp.example.org", "sender": "me@example.org"}
    d["groups"][0] = {"name": "Notizie", "bookmarks": [
        {"name": "Corriere", "url": "https://www.corriere.it/"},
        {"name": "東京", "url": "https://example.jp/東京?q=é&x=1"}]}
    d["groups"][19]["name"] = "Ultimo gruppo 🚀"
    d["browser"] = {"program": "/usr/bin/firefox", "folder": "/usr/bin"}
    return d


class Base(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def build(self, name, data):
        text = data if isinstance(data, (str, bytes)) else json.dumps(data, ensure_ascii=False)
        rc, out, err = run("build", self.path(name), stdin=text)
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, b"")
        with open(self.path(name), "rb") as f:
            return f.read()

    def dump(self, name, *extra):
        rc, out, err = run("dump", self.path(name), *extra)
        self.assertEqual(rc, 0, err)
        return out

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)


class RoundTrip(Base):
    def test_default_file_is_the_271_byte_file(self):
        data = self.build("default.mer", default_json())
        expected = header(22) + struct.pack("<H", 1) + counted(b"") + struct.pack("<i", 0) \
            + counted(b"") * 2 + default_groups_bytes() + counted(b"") * 2
        self.assertEqual(len(expected), 271)
        self.assertEqual(data, expected)
        self.assertEqual(json.loads(self.dump("default.mer")), default_json())
        # format_version may be left out or be 21 on input
        for version in (None, 21):
            d = default_json()
            if version is None:
                del d["format_version"]
            else:
                d["format_version"] = version
            self.assertEqual(self.build("v.mer", d), expected)

    def test_dump_build_dump_is_identical(self):
        # one-character passwords, accented key bytes and passwords differing
        # only in their last character all have to come back exactly
        for password in ("", "segreto", "è€x", "k", "segretO"):
            with self.subTest(password=password):
                source = rich_json(password)
                first = self.build("a.mer", source)
                dump1 = self.dump("a.mer", "--password", password) if password else self.dump("a.mer")
                self.assertEqual(json.loads(dump1), source)
                second = self.build("b.mer", dump1)
                self.assertEqual(second, first)
                dump2 = self.dump("b.mer", "--password=" + password)
                self.assertEqual(dump2, dump1)
                if password:
                    # texts are scrambled in the file, the mail server is not
                    self.assertNotIn(b"Corriere", first)
                    self.assertIn(b"smtp.example.org", first)
                else:
                    self.assertIn(b"Corriere", first)

    def test_texts_are_stored_in_the_code_page_or_wide(self):
        d = default_json()
        d["pages"] = ["caffè €", "😀"]
        data = self.build("p.mer", d)
        self.assertIn(counted("caffè €".encode("cp1252")), data)
        self.assertIn(wide("😀".encode("utf-16-le")), data)

    def test_version_21_file_dumps_with_default_groups(self):
        page = "perché".encode("cp1252")
        self.write("old.mer", header(21) + body_v21(
            [counted(page)], [[b"Ann", b"a@b.c", b"1", b"2", b"3", b"n\r\n"]], b"srv", b"me@x"))
        d = json.loads(self.dump("old.mer"))
        self.assertEqual(d["format_version"], 21)
        self.assertEqual(d["pages"], ["perché"])
        self.assertEqual(d["contacts"][0]["note"], "n\r\n")
        self.assertEqual(d["mail"], {"server": "srv", "sender": "me@x"})
        self.assertEqual(d["groups"], default_json()["groups"])
        self.assertEqual(d["browser"], {"program": "", "folder": ""})

    def test_unpaired_surrogate_dumps_as_replacement_character(self):
        page = wide(b"A\x00\x00\xd8B\x00")  # "A", lone high surrogate, "B"
        self.write("s.mer", header(22) + body_v21([page]) + default_groups_bytes() + counted(b"") * 2)
        self.assertEqual(json.loads(self.dump("s.mer"))["pages"], ["A\ufffdB"])


class Password(Base):
    def test_missing_or_wrong_password_exits_3_and_leaves_the_file(self):
        original = self.build("p.mer", rich_json("segreto"))
        before = os.stat(self.path("p.mer"))
        cases = [((), MSG_PW_REQUIRED),
                 (("--password", "sbagliata"), MSG_PW_WRONG),
                 (("--password", "segretx"), MSG_PW_WRONG),  # last character differs
                 (("--password", ""), MSG_PW_WRONG)]
        for extra, message in cases:
            with self.subTest(extra=extra):
                rc, out, err = run("dump", self.path("p.mer"), *extra)
                self.assertEqual(rc, 3)
                self.assertIn(message, err)
                self.assertEqual(out, b"")
        with open(self.path("p.mer"), "rb") as f:
            self.assertEqual(f.read(), original)
        self.assertEqual(os.stat(self.path("p.mer")).st_mtime_ns, before.st_mtime_ns)

    def test_password_outside_the_code_page_is_refused(self):
        d = default_json()
        d["password"] = "日本"
        rc, _, err = run("build", self.path("x.mer"), stdin=json.dumps(d))
        self.assertEqual(rc, 1)
        self.assertIn("password", err)
        self.assertFalse(os.path.exists(self.path("x.mer")))


class BadFiles(Base):
    def test_foreign_or_damaged_files_exit_2_with_the_message(self):
        good = self.build("good.mer", rich_json(""))
        cases = {
            "wrong tag": (counted(b"MEX") + good[4:], MSG_BAD_TAG),
            "lower-case tag": (counted(b"mer") + good[4:], MSG_BAD_TAG),
            "version 23": (good[:4] + struct.pack("<i", 23) + good[8:], MSG_BAD_VERSION),
            "version 20": (good[:4] + struct.pack("<i", 20) + good[8:], MSG_BAD_VERSION),
            "empty file": (b"", MSG_READ_ERROR),
            "tag only": (good[:4], MSG_READ_ERROR),
            "cut in a page": (good[:len(good) // 3], MSG_READ_ERROR),
            "cut before browser folder": (good[:-len(counted(b"/usr/bin"))], MSG_READ_ERROR),
            "last byte missing": (good[:-1], MSG_READ_ERROR),
            "huge page count": (header(22) + b"\xff\xff\xff\xff\xff\x7f", MSG_READ_ERROR),
            "huge length": (header(22) + struct.pack("<H", 1) + b"\xff\xff\xff\xff\xff\xff\x7f",
                            MSG_READ_ERROR),
        }
        for name, (data, message) in cases.items():
            with self.subTest(name):
                self.write("bad.mer", data)
                rc, out, err = run("dump", self.path("bad.mer"))
                self.assertEqual(rc, 2, err)
                self.assertIn(message, err)
                self.assertEqual(out, b"")

    def test_io_errors_exit_4_with_the_reason(self):
        cases = [
            (("dump", self.path("missing.mer")), "No such file or directory"),
            (("dump", self.dir), "Is a directory"),
            (("build", self.path("no/such/dir/x.mer")), "No such file or directory"),
        ]
        for args, reason in cases:
            with self.subTest(args=args):
                rc, _, err = run(*args, stdin=json.dumps(default_json()))
                self.assertEqual(rc, 4)
                self.assertIn(reason, err)


class BadJson(Base):
    def test_bad_json_exits_1_names_the_problem_and_writes_nothing(self):
        def edit(fn):
            d = rich_json("")
            fn(d)
            return json.dumps(d)

        def drop(d, *keys):
            for k in keys[:-1]:
                d = d[k]
            del d[keys[-1]]

        cases = [
            ("{", "invalid JSON"),
            ("", "invalid JSON"),
            (b'{"password": "\xff"}', "invalid JSON"),  # not UTF-8
            ("[]", "top level: expected an object"),
            (edit(lambda d: drop(d, "pages")), 'missing key "pages"'),
            (edit(lambda d: d.update(password=None)), "password: expected a string"),
            (edit(lambda d: d["pages"].append(3)), "pages[10]: expected a string"),
            (edit(lambda d: drop(d, "contacts", 1, "email")), 'contacts[1]: missing key "email"'),
            (edit(lambda d: d["contacts"][0].update(note=[])), "contacts[0].note: expected a string"),
            (edit(lambda d: d["groups"][3]["bookmarks"].append({"name": "a", "url": 1})),
             "groups[3].bookmarks[0].url: expected a string"),
            (edit(lambda d: d["groups"].pop()), "expected exactly 20 groups, found 19"),
            (edit(lambda d: d["groups"].append(d["groups"][0])), "expected exactly 20 groups, found 21"),
            (edit(lambda d: d["groups"][5].update(bookmarks={})), "groups[5].bookmarks: expected an array"),
            (edit(lambda d: d.update(mail="smtp")), "mail: expected an object"),
            (edit(lambda d: drop(d, "browser", "folder")), 'browser: missing key "folder"'),
            (edit(lambda d: d.update(format_version=23)), "format_version: expected 21 or 22"),
            (edit(lambda d: d.update(format_version="22")), "format_version: expected 21 or 22"),
            (edit(lambda d: d["contacts"][0].update(mobile="1")), 'contacts[0]: unknown key "mobile"'),
        ]
        for stdin, message in cases:
            with self.subTest(message=message):
                rc, out, err = run("build", self.path("x.mer"), stdin=stdin)
                self.assertEqual(rc, 1, err)
                self.assertIn(message, err)
                self.assertFalse(os.path.exists(self.path("x.mer")))
                self.assertEqual(os.listdir(self.dir), [])

    def test_bad_json_leaves_an_existing_file(self):
        original = self.build("keep.mer", rich_json("pw"))
        rc, _, _ = run("build", self.path("keep.mer"), stdin="{}")
        self.assertEqual(rc, 1)
        with open(self.path("keep.mer"), "rb") as f:
            self.assertEqual(f.read(), original)


class HostileJson(Base):
    def test_numbers_and_nesting_end_with_exit_1_and_a_message(self):
        deep = 100000
        cases = [
            ('{"pages":[1e400]}', "invalid JSON"),
            ('{"pages":[-1e400]}', "invalid JSON"),
            ('{"format_version": 1e400}', "invalid JSON"),
            ('{"format_version": 99999999999999999999999}', "format_version: expected 21 or 22"),
            ("[" * deep + "]" * deep, "nested too deeply"),
            ('{"a":' * deep + "1" + "}" * deep, "nested too deeply"),
            ("[" * deep, "nested too deeply"),
            ('{"pages": ' + "[" * 40 + "]" * 40 + "}", "nested too deeply"),
        ]
        for stdin, message in cases:
            with self.subTest(stdin=stdin[:40]):
                rc, out, err = run("build", self.path("x.mer"), stdin=stdin)
                self.assertEqual(rc, 1, err)
                self.assertIn(message, err)
                self.assertEqual(os.listdir(self.dir), [])


class Targets(Base):
    def test_devices_and_pipes_are_refused_and_left(self):
        fifo = self.path("pipe.mer")
        os.mkfifo(fifo)
        os.symlink(fifo, self.path("to-pipe.mer"))
        targets = [fifo, self.path("to-pipe.mer")]
        # Devices of our own, never the system's: a faulty build would
        # replace them.
        if os.geteuid() == 0:
            os.mknod(self.path("nulldev"), 0o600 | stat.S_IFCHR, os.makedev(1, 3))
            os.symlink(self.path("nulldev"), self.path("to-dev.mer"))
            targets += [self.path("nulldev"), self.path("to-dev.mer")]
        for target in targets:
            with self.subTest(target=os.path.basename(target)):
                rc, _, err = run("build", target, stdin=json.dumps(default_json()))
                self.assertEqual(rc, 4, err)
                self.assertIn("not a regular file", err)
        self.assertTrue(stat.S_ISFIFO(os.lstat(fifo).st_mode))
        self.assertTrue(os.path.islink(self.path("to-pipe.mer")))
        if os.geteuid() == 0:
            self.assertTrue(stat.S_ISCHR(os.lstat(self.path("nulldev")).st_mode))
        self.assertEqual(sorted(os.listdir(self.dir)),
                         sorted(os.path.basename(t) for t in targets))

    def test_dangling_link_is_written_through(self):
        os.mkdir(self.path("real"))
        os.symlink("real/data.mer", self.path("link.mer"))
        data = self.build("link.mer", default_json())
        self.assertTrue(os.path.islink(self.path("link.mer")))
        with open(self.path("real/data.mer"), "rb") as f:
            self.assertEqual(f.read(), data)
        os.symlink("/nonexistent-meru-dir/x.mer", self.path("lost.mer"))
        rc, _, err = run("build", self.path("lost.mer"), stdin=json.dumps(default_json()))
        self.assertEqual(rc, 4)
        self.assertIn("No such file or directory", err)
        self.assertEqual(os.readlink(self.path("lost.mer")), "/nonexistent-meru-dir/x.mer")


class Size(Base):
    def test_dump_of_millions_of_empty_records_stays_near_the_data(self):
        # 4 M empty pages and 400 k empty contacts: 6.4 MB on disk, about
        # 210 MB loaded (32 bytes per text). A dump that builds the whole JSON
        # document first needs several times that.
        pages, contacts = 4_000_000, 400_000
        body = b"\xff\xff" + struct.pack("<I", pages) + b"\x00" * pages
        body += struct.pack("<i", contacts) + b"\x00" * (6 * contacts) + counted(b"") * 2
        self.write("big.mer", header(22) + body + default_groups_bytes() + counted(b"") * 2)
        probe = ("import resource, subprocess, sys\n"
                 "with open(sys.argv[3], 'wb') as out:\n"
                 "    rc = subprocess.run([sys.argv[1], 'dump', sys.argv[2]], stdout=out).returncode\n"
                 "print(rc, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
        p = subprocess.run([sys.executable, "-c", probe, MERU_FILE, self.path("big.mer"),
                            self.path("big.json")], capture_output=True, text=True, timeout=300)
        rc, peak_kb = map(int, p.stdout.split())
        self.assertEqual(rc, 0, p.stderr)
        if not os.environ.get("MERU_SANITIZED"):  # the sanitizers' own memory would count
            self.assertLess(peak_kb, 400 * 1024, "peak resident memory %d MB" % (peak_kb // 1024))
        with open(self.path("big.json"), "rb") as f:
            d = json.load(f)
        self.assertEqual(len(d["pages"]), pages)
        self.assertEqual(len(d["contacts"]), contacts)
        self.assertEqual(d["contacts"][-1], {k: "" for k in
                         ("name", "email", "telephone", "cellular", "birthday", "note")})
        self.assertEqual(d["groups"], default_json()["groups"])


class CommandLine(Base):
    def test_help(self):
        for flag in ("--help", "-h"):
            rc, out, _ = run(flag)
            self.assertEqual(rc, 0)
            text = out.decode()
            for word in ("dump", "build", "--password", "format_version", "groups", "Exit status"):
                self.assertIn(word, text)

    def test_usage_errors_exit_1(self):
        for args in [(), ("frobnicate", "x"), ("dump",), ("build",), ("dump", "a", "b"),
                     ("dump", "a", "--password"), ("dump", "a", "--verbose"),
                     ("build", "a", "--password", "x")]:
            with self.subTest(args=args):
                rc, out, err = run(*args)
                self.assertEqual(rc, 1)
                self.assertEqual(out, b"")
                self.assertIn("meru-file:", err)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: test_meru_file.py /path/to/meru-file [unittest args]")
    MERU_FILE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
