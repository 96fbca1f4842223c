"""The notes window with the real binary under X: a page typed with the
keyboard survives Exit (chosen from the notes window's own menu while the
editor still has the focus) and a restart, and text typed after the restart
is kept through Esc in the notes window and Esc in the main window.

  run-xsession python3 test_notes.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


def notes_title_rx(path):
    return "^" + re.escape(f"{xs.MERU_TITLE} - NOTES - [{path}]") + "$"


class NotesSurviveExit(xs.MeruTestCase):

    def dump(self, data):
        out = subprocess.run([xs.Config.meru_file, "dump", data], check=True,
                             capture_output=True, timeout=30)
        return json.loads(out.stdout)

    def build(self, data, pages):
        content = {
            "format_version": 22, "password": "", "pages": pages, "contacts": [],
            "mail": {"server": "", "sender": ""},
            "groups": [{"name": f"Group {n}", "bookmarks": []} for n in range(1, 21)],
            "browser": {"program": "", "folder": ""},
        }
        subprocess.run([xs.Config.meru_file, "build", data], input=json.dumps(content).encode(),
                       check=True, timeout=30)

    def open_notes(self, main_win, data):
        """&Menu > &Notes from the main window's menu bar; returns the notes
        window once it is shown and has the keyboard."""
        xs.key("alt+m", win=main_win)
        xs.key("n")
        notes = self.d.wait_window(notes_title_rx(data), viewable=True, timeout=15)
        xs.activate(notes)
        return notes

    def type_text(self, text):
        xs.xdotool("type", "--delay", "15", text)

    def test_typed_page_survives_exit_and_restart(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        data = self.path("notes.mer")
        self.build(data, ["first page", "second page"])

        # First run: type at the end of page 1, then Exit from the notes
        # window's menu without leaving the editor.
        m, win = self.start_shown(data)
        notes = self.open_notes(win, data)
        xs.key("ctrl+End")
        self.type_text(" typed by xdotool")
        xs.key("Return")
        self.type_text("line two")
        xs.screenshot(self.artifact("notes-typed.png"), window=self.d.frame_of(notes))
        xs.key("alt+m")
        xs.key("e")
        self.assertEqual(m.wait_exit(10), 0)
        pages = self.dump(data)["pages"]
        self.assertEqual(pages, ["first page typed by xdotool\r\nline two", "second page"])

        # Second run: the page is back in the editor; more text, then Esc in
        # the notes window (hidden, not closed) and Esc in the main window.
        m, win = self.start_shown(data)
        notes = self.open_notes(win, data)
        xs.key("ctrl+End")
        self.type_text(" - again")
        xs.key("Escape")
        xs.wait_for(lambda: not self.d.find_windows(notes_title_rx(data), viewable=True),
                    what="notes window hidden by Esc")
        self.assertTrue(m.alive(), "Esc in the notes window only hides it")
        xs.key("Escape", win=win)
        self.assertEqual(m.wait_exit(10), 0)
        pages = self.dump(data)["pages"]
        self.assertEqual(pages,
                         ["first page typed by xdotool\r\nline two - again", "second page"])


class DisplayLost(xs.MeruTestCase):
    """The X server goes away (a logout without a session manager): what was
    typed is in the data file, although the editor never lost the focus."""

    def test_typed_text_saved_when_the_x_server_dies(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        # A private X server of this test's own, to be killed.
        r, w = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24",
                                   "-nolisten", "tcp"], pass_fds=(w,),
                                  stderr=subprocess.DEVNULL)
        os.close(w)
        self.addCleanup(xs.stop, server)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        self.assertTrue(number, "Xvfb gave no display number")
        name = ":" + number
        env = {"DISPLAY": name}

        def xdo(*args):
            subprocess.run(["xdotool", *map(str, args)], env={**os.environ, **env},
                           check=True, timeout=10, capture_output=True)

        data = self.path("lost.mer")
        NotesSurviveExit.build(self, data, ["first page"])
        # (Xlib ends a client whose server dies: closed before the kill.)
        d2 = xs.Display(name)
        m = xs.Meru(xs.Config.meru, data, cwd=self.dir, extra_env=env)
        self._merus.append(m)
        win = m.wait_main_window(d2)
        xdo("windowfocus", "--sync", win)
        xdo("key", "alt+m", "n")
        notes = d2.wait_window(notes_title_rx(data), viewable=True, timeout=15)
        xdo("windowfocus", "--sync", notes)
        xdo("key", "ctrl+End")
        xdo("type", "--delay", "15", " and more")
        # The display goes at once: no focus change, no Exit.
        d2.close()
        server.kill()
        server.wait(10)
        code = m.wait_exit(15)
        self.assertNotEqual(code, None)
        pages = NotesSurviveExit.dump(self, data)["pages"]
        self.assertEqual(pages, ["first page and more"])


if __name__ == "__main__":
    xs.test_main()
