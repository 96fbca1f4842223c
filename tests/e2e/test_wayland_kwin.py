"""MERU in KWin's headless Wayland session (kwin_wayland --virtual, with
XWayland, on a D-Bus session bus of its own, without the rest of Plasma).

KWin offers data-control: MERU reads the clipboard through it and sees the
copies a native GTK program makes while its window has the focus, and the
program pastes what MERU puts back. Ctrl+1..5 typed into XWayland (XTEST)
while MERU's window has the focus select the entry through the X11 grab
(the session has no shortcut portal). Keys typed on the seat while a native
window has the focus are not tried: KWin offers its fake-input protocol only
to programs it knows from their desktop entries. Bare KWin has no tray: MERU
minimises its windows instead.

Run through run-xsession (its X server is not used, MERU runs on KWin's
XWayland):
  run-xsession python3 test_wayland_kwin.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_wayland_sway as sway  # noqa: E402
import wayland_support as ws  # noqa: E402
import xsession as xs  # noqa: E402


class KWinSession(ws.BusSession):
    """kwin_wayland on its virtual backend, XWayland started at once."""
    name = "kwin"
    needs = ["kwin_wayland", "Xwayland", "dbus-run-session", "python3", "wl-copy", "wl-paste",
             "xdotool", "xprop", "gdbus"]
    SOCKET = "wayland-meru"

    def start(self, timeout=40.0):
        kwin = ws.copy_without_capabilities(shutil.which("kwin_wayland"), self.root)
        # QPainter compositing: the software OpenGL would load both cores
        self.launch([kwin, "--virtual", "--xwayland", "--no-lockscreen", "--socket", self.SOCKET,
                     "--width", "1024", "--height", "768", self.env_script()],
                    dict(self.base_env(), KWIN_COMPOSE="Q"))
        self.env = self.read_env(timeout)
        return self.env is not None and self.wait_x_socket(self.env["DISPLAY"], timeout)


class WaylandKWin(ws.SessionChecks, sway.MeruInSession):
    session_class = KWinSession

    # what MERU puts back on the clipboard goes through data-control too
    clipboard = ws.SessionChecks.wl_clipboard
    seed_copy = ws.SessionChecks.wl_copy

    def test_runs_on_xwayland_and_says_what_works(self):
        p, err = self.start_meru("start")
        note = self.wait_line(p, err, "meru: Wayland session")
        self.assertIn("runs through XWayland", note[0])
        clip = self.wait_line(p, err, "clipboard:")
        self.assertEqual(clip, ["clipboard: Wayland data-control (copies are seen whichever "
                                "window has the focus)"])
        keys = self.wait_line(p, err, "meru: global keys:")
        self.assertEqual(len(keys), 1, keys)
        self.assertIn("X11 grab", keys[0])
        self.assertIn("desktop portal: none runs on the session bus", keys[0])
        self.meru_main_window()
        self.check_no_tray()
        self.assertIsNone(p.poll())

    def test_copies_in_a_focused_native_window_reach_the_history(self):
        p, err = self.start_seeded("native")
        native = ws.NativeWindow(self.session)
        self.addCleanup(native.stop)
        native.wait_focus(True)
        self.copy_words(native.copy)
        # entries as the native program pastes them
        for n in (3, 5, 2):
            self.select_gives(n, ws.HISTORY[n - 1])
            self.assertEqual(native.paste(), ws.HISTORY[n - 1])
        native.lines(0.1)
        self.assertTrue(native.focused)
        self.assertIsNone(p.poll())

    def test_ctrl_keys_typed_into_xwayland_with_meru_focused(self):
        p, err = self.start_seeded("keys")
        self.copy_words(self.wl_copy)
        self.focus_meru()
        for n in (3, 1, 5):
            self.key_selects(lambda: self.xdotool("key", "--clearmodifiers", f"ctrl+{n}"), n,
                             ws.HISTORY[n - 1])


if __name__ == "__main__":
    xs.test_main()
