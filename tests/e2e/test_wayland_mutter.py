"""MERU in Mutter's headless Wayland session (mutter --headless, with
XWayland, on a D-Bus session bus of its own, without GNOME Shell).

Mutter offers no data-control: MERU says so and reads the clipboard of
XWayland, to which Mutter hands every Wayland copy, so the copies a native
GTK program makes while it has the focus reach the history. Keys come from
a virtual keyboard of Mutter's remote desktop interface, as typed on the
seat: Ctrl+1..5 select the entry while MERU's window has the focus (X11
grab; the session has no shortcut portal) and do not reach MERU while the
native window has it. Bare Mutter has no tray: MERU minimises its windows
instead.

Run through run-xsession (its X server is not used, MERU runs on Mutter's
XWayland):
  run-xsession python3 test_wayland_mutter.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_wayland_sway as sway  # noqa: E402
import wayland_support as ws  # noqa: E402
import xsession as xs  # noqa: E402


class MutterSession(ws.BusSession):
    """mutter on its headless backend with one virtual monitor, XWayland
    started at once."""
    name = "mutter"
    needs = ["mutter", "Xwayland", "dbus-run-session", "python3", "xclip", "xdotool", "xprop",
             "gdbus"]
    SOCKET = "wayland-meru"

    def start(self, timeout=40.0):
        self.launch(["mutter", "--headless", "--wayland", "--virtual-monitor", "1024x768",
                     f"--wayland-display={self.SOCKET}", "--", self.env_script()],
                    self.base_env())
        self.env = self.read_env(timeout)
        return self.env is not None and self.wait_x_socket(self.env["DISPLAY"], timeout)


class WaylandMutter(ws.SessionChecks, sway.MeruInSession):
    session_class = MutterSession

    # wl-paste needs data-control or the focus; XWayland's clipboard is
    # readable at any time
    clipboard = ws.SessionChecks.x_clipboard
    seed_copy = ws.SessionChecks.x_copy
    keeps_clipboard = True

    def native_with_keyboard(self):
        native = ws.NativeWindow(self.session)
        self.addCleanup(native.stop)
        # a headless seat has no keyboard, hence no focus, until one is added
        native.keyboard()
        native.wait_focus(True)
        return native

    def test_runs_on_xwayland_and_says_what_works(self):
        p, err = self.start_meru("start")
        note = self.wait_line(p, err, "meru: Wayland session")
        self.assertIn("runs through XWayland", note[0])
        clip = self.wait_line(p, err, "clipboard:")
        self.assertEqual(clip, ["clipboard: X11 through XWayland (the compositor offers no "
                                "data-control); unless the compositor passes every copy on "
                                "to XWayland, copies made in Wayland programs reach the "
                                "history only while an X11 window has the focus"])
        keys = self.wait_line(p, err, "meru: global keys:")
        self.assertEqual(len(keys), 1, keys)
        self.assertIn("X11 grab", keys[0])
        self.assertIn("desktop portal: none runs on the session bus", keys[0])
        self.meru_main_window()
        self.check_no_tray()
        self.assertIsNone(p.poll())

    def test_copies_in_a_focused_native_window_reach_the_history(self):
        p, err = self.start_seeded("native")
        native = self.native_with_keyboard()
        self.copy_words(native.copy)
        # entries as the native program pastes them
        for n in (3, 5, 2):
            self.select_gives(n, ws.HISTORY[n - 1])
            xs.wait_for(lambda: native.paste() == ws.HISTORY[n - 1], timeout=10, interval=0.1,
                        what=f"entry {n} pasted in the native window")
        native.lines(0.1)
        self.assertTrue(native.focused)
        self.assertIsNone(p.poll())

    def test_ctrl_keys_reach_meru_only_while_an_xwayland_window_has_the_focus(self):
        p, err = self.start_seeded("keys")
        native = self.native_with_keyboard()
        self.copy_words(self.x_copy)
        self.focus_meru()
        native.wait_focus(False)
        for n in (3, 1, 5):
            self.key_selects(lambda: native.ctrl(n), n, ws.HISTORY[n - 1])
        # the same keys with the native window focused go to that window
        native.raise_new()
        native.ctrl(2)
        self.assertTrue(xs.holds_for(lambda: self.clipboard() == ws.HISTORY[4], 1.5,
                                     interval=0.1), self.clipboard())
        self.assertIsNone(p.poll())


if __name__ == "__main__":
    xs.test_main()
