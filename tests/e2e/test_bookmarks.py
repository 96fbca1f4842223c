"""The bookmarks window with the real binary under X: a bookmark added
through the window (address from the clipboard) survives Exit and a
restart, and a double click on it starts the chosen browser - a script that
records its arguments and working directory - with that address.

  run-xsession python3 test_bookmarks.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import stat
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

BOOKMARKS_RX = "^" + re.escape(f"{xs.MERU_TITLE} - BOOKMARKS") + "$"
ADDRESS = "https://example.org/e2e?a=1&b=two words"


class BookmarksSurviveExit(xs.MeruTestCase):

    def dump(self, data):
        out = subprocess.run([xs.Config.meru_file, "dump", data], check=True,
                             capture_output=True, timeout=30)
        return json.loads(out.stdout)

    def build(self, data, browser):
        content = {
            "format_version": 22, "password": "", "pages": [""], "contacts": [],
            "mail": {"server": "", "sender": ""},
            "groups": [{"name": f"Group {n}", "bookmarks": []} for n in range(1, 21)],
            "browser": browser,
        }
        subprocess.run([xs.Config.meru_file, "build", data], input=json.dumps(content).encode(),
                       check=True, timeout=30)

    def open_bookmarks(self, main_win):
        xs.key("alt+m", win=main_win)
        xs.key("b")
        win = self.d.wait_window(BOOKMARKS_RX, viewable=True, timeout=15)
        xs.activate(win)
        return win

    def test_added_bookmark_survives_restart_and_opens_in_the_chosen_browser(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        folder = self.path("my browser")
        os.makedirs(folder)
        record = self.path("record.txt")
        script = os.path.join(folder, "browse")
        with open(script, "w") as f:
            f.write('#!/bin/sh\n{ pwd; for a in "$@"; do printf "%%s\\n" "$a"; done; } > "%s.part"\n'
                    'mv "%s.part" "%s"\n' % (record, record, record))
        os.chmod(script, stat.S_IRWXU)
        data = self.path("bookmarks.mer")
        self.build(data, {"program": "browse", "folder": folder})

        # First run: the address on the clipboard, "Url" (the first control,
        # so Space presses it), a name, OK, then Exit from this window's menu.
        m, main_win = self.start_shown(data)
        subprocess.run(["xclip", "-selection", "clipboard"], input=ADDRESS.encode(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10, check=True)
        win = self.open_bookmarks(main_win)
        xs.key("space")
        url = self.d.wait_window("^Url$", viewable=True, timeout=10)
        xs.activate(url)
        xs.xdotool("type", "--delay", "15", "E2E bookmark")
        xs.key("Return")
        self.d.wait_gone(url, timeout=10)
        xs.key("alt+m", win=win)
        xs.key("e")
        self.assertEqual(m.wait_exit(10), 0)
        groups = self.dump(data)["groups"]
        self.assertEqual(groups[0]["bookmarks"], [{"name": "E2E bookmark", "url": ADDRESS}])

        # Second run: the row is there; a double click starts the browser.
        m, main_win = self.start_shown(data)
        win = self.open_bookmarks(main_win)
        shot = xs.screenshot(self.artifact("bookmarks-window.png"), window=win)
        left, top, right, bottom = xs.white_band(shot)
        self.assertGreater(bottom - top, 50, "the bookmark list was not found on screen")
        x0, y0 = xs.window_origin(win)
        xs.click(x0 + left + 40, y0 + top + 8, repeat=2)
        xs.wait_for(lambda: os.path.exists(record), timeout=10, what="the browser script ran")
        with open(record) as f:
            lines = f.read().splitlines()
        self.assertEqual(lines, [os.path.realpath(folder), ADDRESS])
        self.assertTrue(m.alive())
        xs.key("alt+m", win=win)
        xs.key("e")
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(self.dump(data)["groups"][0]["bookmarks"],
                         [{"name": "E2E bookmark", "url": ADDRESS}])


if __name__ == "__main__":
    xs.test_main()
