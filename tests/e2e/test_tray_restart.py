"""The tray host goes away and a new one comes: MERU's icon comes back in it
and still works. (Its own file: it replaces the session's tray host.)

  run-xsession python3 test_tray_restart.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

TRAYER = ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
          "--width", "200", "--heighttype", "pixel", "--height", "32"]


class TrayRestart(xs.MeruTestCase):

    def test_icon_comes_back_when_the_tray_host_restarts(self):
        m, win = self.start_shown(self.path("restart.mer"))
        xs.wait_tray_icon(self.d, "meru", timeout=10)

        host_pid = self.d.window_pid(xs.tray_host_window(self.d))
        self.assertNotEqual(host_pid, 0, "the tray host names no process")
        os.kill(host_pid, signal.SIGTERM)
        xs.wait_for(lambda: xs.tray_host_window(self.d) == 0, timeout=10,
                    what="the tray host gone")
        xs.wait_for(lambda: not xs.tray_icons(self.d, "meru"), timeout=10,
                    what="the icon out of the dead tray")
        self.assertTrue(m.alive())

        host = subprocess.Popen(TRAYER, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(xs.stop, host)
        icon = xs.wait_tray_icon(self.d, "meru", timeout=15)
        x, y, w, h = self.d.geometry(icon)
        xs.screenshot(self.artifact("tray-after-restart.png"))

        # and it works: hidden main window, double-click on the new icon
        self.d.close_window(win)
        self.d.wait_gone(win)
        xs.click(x + w // 2, y + h // 2, repeat=2)
        xs.wait_for(lambda: self.d.map_state(win) == xs.IS_VIEWABLE, timeout=10,
                    what="main window back after a double-click on the new icon")


if __name__ == "__main__":
    xs.test_main()
