"""The windows' keys under a real X server and window manager.

Esc in an open combo list closes the list only; the window stays, and a
second Esc hides it into the tray.

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


if __name__ == "__main__":
    xs.test_main()
