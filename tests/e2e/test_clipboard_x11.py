"""The global shortcuts Ctrl+1..5 against a real X server: the CapsLock and
NumLock variants, either Ctrl, the keypad digits (which are not shortcuts),
and a key already held by another program (reported once, the other keys
keep working).

What a shortcut did is read from the clipboard: Ctrl+n puts entry n (or the
newest, with fewer entries) on it.

Run through run-xsession:
  run-xsession python3 test_clipboard_x11.py --meru BIN --meru-file BIN --artifacts DIR
"""
import argparse
import ctypes
import os
import re
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

ARGS = None
HOLDER_LIFETIME_S = 120


def holder_main(keysym):
    """Run as `test_clipboard_x11.py --hold KEYSYM`: grabs Ctrl+KEYSYM (plain
    Ctrl, no lock variants) on the root window and keeps it until killed."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XStringToKeysym.restype = ctypes.c_ulong
    x.XStringToKeysym.argtypes = [ctypes.c_char_p]
    x.XKeysymToKeycode.restype = ctypes.c_ubyte
    x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                           ctypes.c_int, ctypes.c_int, ctypes.c_int]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    d = x.XOpenDisplay(None)
    code = x.XKeysymToKeycode(d, x.XStringToKeysym(keysym.encode()))
    control_mask, grab_mode_async = 1 << 2, 1
    x.XGrabKey(d, code, control_mask, x.XDefaultRootWindow(d), 0, grab_mode_async,
               grab_mode_async)
    x.XSync(d, 0)  # a failed grab ends this process through Xlib's error handler
    print("held", flush=True)
    time.sleep(HOLDER_LIFETIME_S)


def lock_state():
    out = subprocess.run(["xset", "q"], capture_output=True, text=True, timeout=10).stdout
    caps = re.search(r"Caps Lock:\s+(on|off)", out).group(1) == "on"
    num = re.search(r"Num Lock:\s+(on|off)", out).group(1) == "on"
    return num, caps


def set_locks(num, caps):
    now_num, now_caps = lock_state()
    if now_num != num:
        xs.xdotool("key", "Num_Lock")
    if now_caps != caps:
        xs.xdotool("key", "Caps_Lock")
    xs.wait_for(lambda: lock_state() == (num, caps), timeout=5, what="lock state")


class HotkeysX11(unittest.TestCase):
    def setUp(self):
        self.dir = xs.temp_dir()
        self.d = xs.Display()
        self.procs = []
        set_locks(False, False)
        # another program holds the keyboard focus while the shortcuts are pressed
        self.other = self.spawn(["xlogo", "-geometry", "200x200+20+20"])
        self.other_win = self.d.wait_window(wm_class="xlogo", timeout=10)
        self.err_path = os.path.join(self.dir, "meru.err")

    def tearDown(self):
        for p in reversed(self.procs):
            xs.stop(p)
        set_locks(False, False)
        self.d.close()
        xs.remove_tree(self.dir)

    def spawn(self, argv, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def start_meru(self):
        data = os.path.join(self.dir, "meru.mer")
        with open(self.err_path, "wb") as err:
            self.meru = self.spawn([ARGS.meru, data], cwd=self.dir, stderr=err)
        rx = re.compile(xs.main_title_rx(data))
        xs.wait_for(lambda: self.meru.poll() is None and self.d.find_windows(rx, viewable=True),
                    timeout=15, what="main window")

    def meru_stderr(self):
        return xs.read_bytes(self.err_path).decode("utf-8", "replace")

    def press(self, keys):
        xs.activate(self.other_win)
        xs.xdotool("key", keys)

    def expect_entry(self, keys, expected):
        """`keys` pressed (another program focused) puts `expected` on the
        clipboard."""
        xs.key_until_clipboard(keys, expected, self.other_win)

    def copy_and_wait(self, data):
        """Another program copies `data`; waits until MERU has taken it as its
        newest entry (copies in quick succession may otherwise be read only
        after the next one replaced them). Needs fewer than five entries."""
        xs.copy_text(data)
        self.expect_entry("ctrl+5", data)

    def expect_no_effect(self, keys, current):
        self.press(keys)
        self.assertTrue(xs.holds_for(lambda: xs.read_clip() == current, 0.5),
                        f"{keys} changed the clipboard to {xs.read_clip()!r}")

    # ------------------------------------------------------------ cases

    def test_lock_variants_either_ctrl_and_keypad(self):
        xs.copy_text(b"one")
        self.start_meru()
        self.copy_and_wait(b"two")
        self.copy_and_wait(b"three")
        for num, caps in [(False, False), (True, False), (False, True), (True, True)]:
            with self.subTest(num_lock=num, caps_lock=caps):
                set_locks(num, caps)
                self.expect_entry("ctrl+1", b"one")
                self.expect_entry("ctrl+3", b"three")
                self.expect_entry("Control_R+2", b"two")
                # the keypad's digits are not the shortcuts
                self.expect_no_effect("ctrl+KP_1", b"two")
                self.expect_no_effect("ctrl+KP_End", b"two")
                # nor is a digit without Ctrl
                self.expect_no_effect("3", b"two")

    def test_key_held_by_another_program(self):
        holder = self.spawn([sys.executable, os.path.abspath(__file__), "--hold", "3"],
                            stdout=subprocess.PIPE)
        self.assertEqual(holder.stdout.readline().strip(), b"held")
        xs.copy_text(b"a")
        self.start_meru()
        for t in (b"b", b"c", b"d"):
            self.copy_and_wait(t)
        # the other keys work
        self.expect_entry("ctrl+4", b"d")
        self.expect_entry("ctrl+1", b"a")
        self.expect_entry("ctrl+2", b"b")
        self.expect_entry("ctrl+5", b"d")
        self.expect_entry("ctrl+2", b"b")
        # Ctrl+3 stays with the program that holds it
        self.expect_no_effect("ctrl+3", b"b")
        # with a lock on, Ctrl+3 is a different grab, which MERU has
        set_locks(True, False)
        self.expect_entry("ctrl+3", b"c")
        # said once on standard error, naming the key
        lines = [ln for ln in self.meru_stderr().splitlines() if "Ctrl+" in ln]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("Ctrl+3", lines[0])
        for n in "1245":
            self.assertNotIn(f"Ctrl+{n}", lines[0])
        holder.stdout.close()


def main():
    global ARGS
    if len(sys.argv) > 2 and sys.argv[1] == "--hold":
        holder_main(sys.argv[2])
        return 0
    p = argparse.ArgumentParser()
    p.add_argument("--meru", required=True)
    p.add_argument("--meru-file")
    p.add_argument("--artifacts")
    ARGS, rest = p.parse_known_args()
    ARGS.meru = os.path.abspath(ARGS.meru)
    prog = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
