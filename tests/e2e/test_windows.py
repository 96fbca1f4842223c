"""The windows' keys under a real X server and window manager.

Esc in an open combo list closes the list only; the window stays, and a
second Esc hides it into the tray. At 1x and at 2x (QT_SCALE_FACTOR=2 on a
1920x1080 screen) every window opens inside the screen; screenshots of each
go to the artifacts.

  run-xsession python3 test_windows.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

IS_VIEWABLE = 2


class EscInPopups(xs.MeruTestCase):

    def open_clipboard_window(self, main_win):
        xs.key("alt+m", win=main_win)
        xs.key("c")
        xs.key("Return")        # "Open", the first item of the submenu
        clip = self.d.wait_window(r" - CLIPBOARD$", viewable=True, timeout=15)
        xs.activate(clip)
        return clip

    def test_esc_in_the_clipboard_entry_list(self):
        subprocess.run(["xclip", "-selection", "clipboard"], input=b"una voce", timeout=10,
                       check=True)
        m, win = self.start_shown(self.path("esc.mer"))
        clip = self.open_clipboard_window(win)
        # Into the editor (the middle of the window), then back to the entry
        # list before it in the tab order, and open the list.
        x, y, w, h = self.d.geometry(self.d.frame_of(clip))
        xs.click(x + w // 2, y + h // 2)
        xs.key("shift+Tab")
        before = xs.top_levels(self.d)
        xs.key("alt+Down")
        popup = xs.wait_new_top_level(self.d, "meru", before, timeout=10)
        xs.screenshot(self.artifact("clipboard-entry-list-open.png"))

        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(popup) != IS_VIEWABLE, timeout=10,
                    what="the entry list closing")
        # The window stays: checked for a while, as a wrong hide comes late.
        self.assertTrue(xs.holds_for(lambda: self.d.map_state(clip) == IS_VIEWABLE, 0.5),
                        "Esc in the open list hid the clipboard window")

        xs.activate(clip)
        xs.key("Escape")
        xs.wait_for(lambda: self.d.map_state(clip) != IS_VIEWABLE, timeout=10,
                    what="the clipboard window hiding on the second Esc")
        self.assertTrue(m.alive())


class FitTheScreen(xs.MeruTestCase):
    """Each scale on an X server of its own (no window manager: the window
    itself must stay inside the screen)."""

    WINDOWS = (("notes", ["n"], r" - NOTES - "),
               ("clipboard", ["c", "Return"], r" - CLIPBOARD$"))

    def own_server(self, size):
        r, w = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size,
                                   "-nolisten", "tcp"], pass_fds=(w,),
                                  stderr=subprocess.DEVNULL)
        os.close(w)
        self.addCleanup(xs.stop, server)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        self.assertTrue(number, "Xvfb gave no display number")
        return ":" + number

    def check_scale(self, scale, size):
        name = self.own_server(size)
        width, height = (int(v) for v in size.split("x")[:2])
        env = {"DISPLAY": name, "QT_SCALE_FACTOR": str(scale)}

        def xdo(*args):
            subprocess.run(["xdotool", *map(str, args)], env={**os.environ, **env},
                           check=True, timeout=10, capture_output=True)

        def shot(label, win):
            subprocess.run(["import", "-display", name, "-window", str(win),
                            self.artifact(f"{label}-{scale}x.png")],
                           timeout=20, capture_output=True)

        d2 = xs.Display(name)
        self.addCleanup(d2.close)
        data = self.path(f"fit{scale}.mer")
        m = xs.Meru(xs.Config.meru, data, cwd=self.dir, extra_env=env)
        self._merus.append(m)
        main = m.wait_main_window(d2)
        shot("main", main)
        for label, keys, rx in self.WINDOWS:
            with self.subTest(scale=scale, window=label):
                xdo("windowfocus", "--sync", main)
                xdo("key", "alt+m", *keys)
                win = d2.wait_window(rx, viewable=True, timeout=15)
                x, y, w, h = d2.geometry(win)
                shot(label, win)
                self.assertTrue(0 <= x and 0 <= y and x + w <= width and y + h <= height,
                                f"{label} at {scale}x: {(x, y, w, h)} outside {width}x{height}")

    def test_1x(self):
        self.check_scale(1, "1280x800x24")

    def test_2x(self):
        self.check_scale(2, "1920x1080x24")


if __name__ == "__main__":
    xs.test_main()
