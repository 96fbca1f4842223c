"""Start, Exit and the data file, with the real binary under X.

Esc in the main window and the signals SIGTERM, SIGINT and SIGHUP save the
data file and end the program with exit code 0; a first start writes the
271-byte default file, an existing file comes back byte for byte, a file of
another format is refused and left as it was.

  run-xsession python3 test_lifecycle.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

FIRST_FILE = xs.first_start_file()


class ExitSaves(xs.MeruTestCase):

    def test_esc_on_first_start_writes_the_default_file(self):
        data = self.path("first.mer")
        m, win = self.start_shown(data)
        # the main window, for people to look at
        frame = self.d.frame_of(win)
        xs.screenshot_region(self.artifact("main-window.png"), self.d.geometry(frame))
        xs.screenshot(self.artifact("main-window-screen.png"))
        self.assertFalse(os.path.exists(data), "nothing is written before Exit")
        xs.key("Escape", win=win)
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(data), FIRST_FILE)

    def test_signals_save_like_exit(self):
        # (signal, hide the main window into the tray first)
        for sig, hidden in ((signal.SIGTERM, False), (signal.SIGINT, False),
                            (signal.SIGHUP, True)):
            with self.subTest(signal=sig.name, hidden=hidden):
                data = self.path(f"{sig.name}.mer")
                m, win = self.start_shown(data)
                if hidden:
                    self.d.close_window(win)
                    self.d.wait_gone(win)
                m.proc.send_signal(sig)
                self.assertEqual(m.wait_exit(10), 0)
                self.assertEqual(xs.read_bytes(data), FIRST_FILE)

    def test_data_file_path_default_and_relative(self):
        # (arguments, file expected in the test's folder); the title names
        # the path as given, or <current directory>/meru.mer
        for args, name in (([], "meru.mer"), (["rel.mer"], "rel.mer"),
                           (["-Automation", "auto.mer"], "auto.mer")):
            with self.subTest(args=args):
                m = self.start(args=args)
                if args and not args[-1].startswith("-"):
                    m.title_path = args[-1]         # used unchanged
                win = m.wait_main_window(self.d)
                xs.key("Escape", win=win)
                self.assertEqual(m.wait_exit(10), 0)
                self.assertEqual(xs.read_bytes(self.path(name)), FIRST_FILE)

    def test_existing_file_comes_back_unchanged(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        groups = [{"name": f"Group {n}", "bookmarks": []} for n in range(1, 21)]
        groups[0] = {"name": "Lavoro", "bookmarks": [
            {"name": "Debian", "url": "https://www.debian.org/"},
            {"name": "Qt & co", "url": "https://doc.qt.io/?a=1&b=2#x"}]}
        groups[19]["name"] = "Città 🌍"
        content = {
            "format_version": 22, "password": "",
            "pages": ["prima pagina\r\nseconda riga", "", "€ è ñ — 日本語 😀\r\n" * 3,
                      "x" * 300],
            # In name order: the contacts window keeps its list sorted.
            "contacts": [{"name": "Adam", "email": "", "telephone": "", "cellular": "333",
                          "birthday": "", "note": ""},
                         {"name": "Zoë", "email": "zoe@example.org", "telephone": "+39 06 1",
                          "cellular": "", "birthday": "1970-01-01", "note": "a\r\nb"}],
            "mail": {"server": "smtp.example.org", "sender": "me@example.org"},
            "groups": groups,
            "browser": {"program": "/usr/bin/firefox", "folder": "/usr/bin"},
        }
        data = self.path("full.mer")
        subprocess.run([xs.Config.meru_file, "build", data], input=json.dumps(content).encode(),
                       check=True, timeout=30)
        before = xs.read_bytes(data)
        m, win = self.start_shown(data)
        xs.key("Escape", win=win)
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(data), before)


class RefusedFile(xs.MeruTestCase):

    def test_other_format_is_refused_and_left_untouched(self):
        # the message box is found by its caption "meru" (its text is in the
        # screenshot)
        cases = {"version 23": FIRST_FILE[:4] + (23).to_bytes(4, "little") + FIRST_FILE[8:],
                 "tag MEX": b"\x03MEX" + FIRST_FILE[4:]}
        for what, content in cases.items():
            with self.subTest(what):
                data = self.path("bad.mer")
                with open(data, "wb") as f:
                    f.write(content)
                m = self.start(data)
                box = self.d.wait_window("^meru$", timeout=15, managed=True)
                xs.screenshot(self.artifact(f"refused-{what.replace(' ', '-')}.png"))
                self.assertEqual(self.d.find_windows(xs.main_title_rx(data), viewable=True), [],
                                 "the main window is not shown for a refused file")
                xs.key("Return", win=box)
                self.assertEqual(m.wait_exit(10), 0)
                self.assertEqual(xs.read_bytes(data), content)


if __name__ == "__main__":
    xs.test_main()
