#!/usr/bin/env python3
"""The packaged MERU started the way a desktop starts it: the Debian package
is unpacked into a throw-away root that stands for /usr (its bin on PATH, its
share on XDG_DATA_DIRS), and `gio launch` starts its menu entry from the home
folder. The main window and the tray icon come up, the windows carry the
class the entry names, and the data file is ~/meru.mer.

  run-xsession python3 test_desktop_entry.py --meru BIN --artifacts DIR
  (MERU_DEB_DIR names the folder with the .deb; CTest sets it)
"""
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


def entry_keys(path):
    keys = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith(("#", "[")):
                k, v = line.rstrip("\n").split("=", 1)
                keys.setdefault(k, v)
    return keys


def gone_or_zombie(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            stat = f.read()
    except OSError:
        return True
    return stat[stat.rindex(b")") + 2:].split()[0] == b"Z"


class DesktopEntry(xs.MeruTestCase):

    def setUp(self):
        super().setUp()
        deb_dir = os.environ.get("MERU_DEB_DIR")
        if not deb_dir:
            self.skipTest("MERU_DEB_DIR is not set (CTest sets it after making the package)")
        debs = glob.glob(os.path.join(deb_dir, "*.deb"))
        self.assertEqual(len(debs), 1, f"one .deb in {deb_dir}")
        self.root = self.path("root")
        subprocess.run(["dpkg-deb", "-x", debs[0], self.root], check=True, timeout=60)
        self.usr = os.path.join(self.root, "usr")

    def test_menu_entry_starts_meru_with_window_and_tray_icon(self):
        entry = os.path.join(self.usr, "share/applications/meru.desktop")
        keys = entry_keys(entry)
        home = self.path("home")
        os.mkdir(home)
        env = dict(os.environ)
        env.update(HOME=home,
                   PATH=os.path.join(self.usr, "bin") + os.pathsep + env.get("PATH", ""),
                   XDG_DATA_DIRS=os.path.join(self.usr, "share") + ":/usr/local/share:/usr/share")
        # meru inherits gio's output: a file, not a pipe, or reading it would
        # wait for meru to end
        log = self.path("gio.log")
        with open(log, "w") as out:
            r = subprocess.run(["gio", "launch", entry], cwd=home, env=env, stdout=out,
                               stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=30)
        self.assertEqual(r.returncode, 0, open(log).read())

        title = xs.main_title_rx(os.path.join(os.path.realpath(home), "meru.mer"))
        win = xs.wait_for(lambda: next(iter(self.d.find_windows(title, viewable=True)), 0),
                          timeout=20, what="the main window of the packaged meru")
        pid = self.d.window_pid(win)
        self.assertTrue(pid, "_NET_WM_PID of the main window")
        self.addCleanup(self._kill, pid)
        # the packaged program, not the one of the build folder
        self.assertEqual(os.path.realpath(f"/proc/{pid}/exe"),
                         os.path.realpath(os.path.join(self.usr, "bin/meru")))
        # the window manager ties the windows to the entry by their class
        self.assertEqual(self.d.window_class(win)[1], keys["StartupWMClass"])
        icon = xs.wait_tray_icon(self.d, keys["StartupWMClass"], timeout=10)
        self.assertTrue(icon)
        xs.screenshot(self.artifact("desktop-entry-start.png"))

        xs.key("Escape", win=win)
        xs.wait_for(lambda: gone_or_zombie(pid), timeout=10, what="meru to end after Esc")
        self.assertEqual(xs.read_bytes(os.path.join(home, "meru.mer")), xs.first_start_file())

    @staticmethod
    def _kill(pid):
        if not gone_or_zombie(pid):
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass


if __name__ == "__main__":
    xs.test_main()
