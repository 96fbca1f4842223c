"""MERU in a Wayland session, seen from X11: it runs through XWayland unless
the user chose a Qt platform, says once on standard error what works there,
and its Ctrl+1..5 grab follows keyboard layout changes made through XKB.

Run through run-xsession:
  run-xsession python3 test_wayland_session.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

# A Wayland session whose compositor is not there: Qt's own choice would be
# its wayland plugin, which cannot start (or is not installed).
WAYLAND_ENV = {"WAYLAND_DISPLAY": "wayland-meru-none", "XDG_SESSION_TYPE": "wayland"}


class WaylandSession(xs.MeruTestCase):

    def spawn(self, args, env, err_name):
        err_path = self.path(err_name)
        with open(err_path, "wb") as err:
            p = subprocess.Popen([xs.Config.meru, *args], cwd=self.dir, env=env,
                                 stdin=subprocess.DEVNULL, stderr=err)
        self.addCleanup(xs.stop, p)
        return p, err_path

    def note_lines(self, err_path):
        text = xs.read_bytes(err_path).decode("utf-8", "replace")
        return [ln for ln in text.splitlines() if "Wayland session" in ln]

    def test_xcb_chosen_and_said_once(self):
        env = dict(os.environ, **WAYLAND_ENV)
        env.pop("QT_QPA_PLATFORM", None)
        data = self.path("w.mer")
        p, err = self.spawn([data], env, "first.err")
        rx = re.compile(xs.main_title_rx(data))
        xs.wait_for(lambda: p.poll() is None and self.d.find_windows(rx, viewable=True),
                    timeout=15, what="main window on X11")
        lines = self.note_lines(err)
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("XWayland", lines[0])
        self.assertIn("meru --select N", lines[0])
        # a second start ends at once and says nothing
        second, err2 = self.spawn([data], env, "second.err")
        self.assertEqual(xs.wait_exit(second, timeout=10), 0)
        self.assertEqual(xs.read_bytes(err2), b"")

    def test_platform_of_the_user_respected(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", **WAYLAND_ENV)
        data = self.path("o.mer")
        p, err = self.spawn([data], env, "o.err")
        # it answers commands once its windows exist, on its own platform
        xs.wait_for(lambda: subprocess.run([xs.Config.meru, "--show", "main"],
                                           capture_output=True, timeout=30).returncode == 0,
                    timeout=15, interval=0.1, what="the offscreen copy")
        self.assertIsNone(p.poll())
        self.assertFalse(self.d.find_windows(re.compile(xs.main_title_rx(data))))
        lines = self.note_lines(err)
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("QT_QPA_PLATFORM", lines[0])
        self.assertNotIn("runs through XWayland", lines[0])


class GrabFollowsXkb(xs.MeruTestCase):

    def setUp(self):
        super().setUp()
        self.other = subprocess.Popen(["xlogo", "-geometry", "200x200+20+20"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        self.addCleanup(xs.stop, self.other)
        self.other_win = self.d.wait_window(wm_class="xlogo", timeout=10)
        self.addCleanup(subprocess.run, ["setxkbmap", "us"], timeout=30)

    def expect_entry(self, keys, expected):
        xs.key_until_clipboard(keys, expected, self.other_win)

    def load_keymap_with_three_moved(self):
        """The us layout with the digit 3 moved to the F12 key (and F20 on the
        old place): the same keysym, another keycode."""
        base = subprocess.run(["setxkbmap", "-layout", "us", "-print"], capture_output=True,
                              text=True, timeout=30, check=True).stdout
        moved, n = re.subn(r'(xkb_symbols\s*\{\s*include\s*"[^"]*")',
                           r'\1 replace key <AE03> { [ F20 ] }; '
                           r'replace key <FK12> { [ 3, numbersign ] };', base)
        self.assertEqual(n, 1, base)
        subprocess.run(["xkbcomp", "-w", "0", "-", os.environ["DISPLAY"]], input=moved,
                       text=True, timeout=30, check=True, capture_output=True)

    def test_ctrl3_after_layout_changes(self):
        subprocess.run(["setxkbmap", "us"], timeout=30, check=True)
        xs.copy_text(b"one")
        self.start_shown(self.path("k.mer"))
        for t in (b"two", b"three"):
            xs.copy_text(t)
            self.expect_entry("ctrl+5", t)
        subprocess.run(["setxkbmap", "it"], timeout=30, check=True)
        self.expect_entry("ctrl+1", b"one")
        self.expect_entry("ctrl+3", b"three")
        # the digit on another key: found and grabbed there
        code_before = subprocess.run(["xmodmap", "-pk"], capture_output=True, text=True,
                                     timeout=10).stdout
        self.load_keymap_with_three_moved()
        code_after = subprocess.run(["xmodmap", "-pk"], capture_output=True, text=True,
                                    timeout=10).stdout
        self.assertNotEqual(code_before, code_after)
        self.expect_entry("ctrl+2", b"two")
        self.expect_entry("ctrl+3", b"three")


if __name__ == "__main__":
    xs.test_main()
