"""What the end-to-end tests of MERU in KWin's and Mutter's headless
sessions share: a compositor started with a D-Bus session bus of its own and
a start-up script that tells the session's addresses; a native Wayland
program (GTK) that copies, pastes, takes the focus and, in Mutter, types
keys through the compositor; and the checks made from inside the session
(the clipboard, meru --select N, Ctrl+N, the missing tray).

The session classes build on test_wayland_sway's Session (run as `nobody`
when the tests run as root, a private runtime folder, the log).
"""
import ast
import os
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_wayland_sway as sway  # noqa: E402
import xsession as xs  # noqa: E402

# On the clipboard when MERU starts: it becomes entry 1, so that the copies
# are entries 2 to 5 (as far as --select and Ctrl+N reach), and
# "--select N" beyond the last entry (which gives the newest) never looks
# like a copy that was seen.
SEED = b"seed"
WORDS = sway.WORDS[:4]
HISTORY = [SEED] + WORDS
ENV_KEYS = ("WAYLAND_DISPLAY", "DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS")


class BusSession(sway.Session):
    """A compositor run under dbus-run-session in a process group of its
    own (ended as a whole), which starts `env_script` once it is up: the
    script writes the variables its programs get, so the tests reach the
    session the same way."""

    def env_script(self):
        """Path of a script that writes the session's variables to
        self.env_file, readable and runnable by the session's user."""
        self.env_file = os.path.join(self.home, "session-env")
        script = os.path.join(self.root, f"{self.name}-env.sh")
        lines = "".join(f'printf "%s=%s\\n" {k} "${k}"\n' for k in ENV_KEYS)
        with open(script, "w") as f:
            f.write(f"#!/bin/sh\n{{\n{lines}}} > {self.env_file}.tmp\n"
                    f"mv {self.env_file}.tmp {self.env_file}\nexec sleep 3600\n")
        os.chmod(script, 0o755)
        return script

    def launch(self, args, env):
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen(self.argv(["dbus-run-session", "--", *args]), env=env,
                                         cwd=self.home, stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT, start_new_session=True)

    def read_env(self, timeout):
        """Waits for the script's variables; the session's environment, or
        None when the compositor ended or never ran the script."""
        if not self.wait_started(lambda: os.path.exists(self.env_file), timeout):
            return None
        found = {}
        with open(self.env_file) as f:
            for line in f.read().splitlines():
                k, _, v = line.partition("=")
                if v:
                    found[k] = v
        if not ("WAYLAND_DISPLAY" in found and "DISPLAY" in found):
            return None
        return dict(self.base_env(), XDG_SESSION_TYPE="wayland", **found)

    def stop(self):
        if not self.proc or self.proc.poll() is not None:
            return
        for sig, wait in ((signal.SIGTERM, 10), (signal.SIGKILL, 5)):
            try:
                os.killpg(self.proc.pid, sig)
            except ProcessLookupError:
                return
            try:
                self.proc.wait(timeout=wait)
                break
            except subprocess.TimeoutExpired:
                pass
        # what is left of the group (Xwayland, the script) ends with it
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def copy_without_capabilities(binary, folder):
    """A copy of `binary` in `folder` without its file capabilities. Where
    the container's bounding set lacks a capability the binary carries
    (kwin_wayland's CAP_SYS_RESOURCE, used for real-time scheduling), the
    kernel refuses to run it at all; the copy runs the same otherwise."""
    dest = os.path.join(folder, os.path.basename(binary))
    shutil.copy(binary, dest)     # copies the mode, not the extended attributes
    os.chmod(dest, 0o755)
    return dest


# A native Wayland program (GTK 3) driven through its standard input, one
# command a line: "copy TEXT" puts TEXT on the clipboard as any Wayland
# program does (with the serial of its focus), "paste" prints what a paste
# gives, "window" opens a fresh window (which takes the focus), and with
# Mutter's remote desktop interface "keyboard" adds a virtual keyboard to
# the seat and "key N" types Ctrl+N through the compositor. It prints what
# happens: FOCUS in|out, COPIED, PASTE <repr>, KEYED, ERROR <what>.
NATIVE_PROGRAM = r"""
import sys
import gi
gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gio, GLib, Gtk

RD = "org.gnome.Mutter.RemoteDesktop"
state = {"win": None, "rd": None}
clip = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)


def say(*words):
    print(*words, flush=True)


def new_window():
    if state["win"]:
        state["win"].destroy()
    win = Gtk.Window(title="native clipboard window")
    win.set_default_size(300, 120)
    win.add(Gtk.Label(label="native"))
    win.connect("focus-in-event", lambda *a: say("FOCUS", "in") or False)
    win.connect("focus-out-event", lambda *a: say("FOCUS", "out") or False)
    win.show_all()
    state["win"] = win


def rd_call(path, iface, method, args=None, reply=None):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    return bus.call_sync(RD, path, iface, method, args, reply, 0, 5000, None)


def keys(pairs):
    for sym, down in pairs:
        rd_call(state["rd"], RD + ".Session", "NotifyKeyboardKeysym",
                GLib.Variant("(ub)", (sym, down)))


def on_line(_source, _cond):
    line = sys.stdin.readline()
    if not line:
        Gtk.main_quit()
        return False
    cmd, _, arg = line.rstrip("\n").partition(" ")
    try:
        if cmd == "copy":
            clip.set_text(arg, -1)
            say("COPIED", arg)
        elif cmd == "paste":
            clip.request_text(lambda _c, text: say("PASTE", repr(text)))
        elif cmd == "window":
            new_window()
        elif cmd == "keyboard":
            path = rd_call("/org/gnome/Mutter/RemoteDesktop", RD, "CreateSession", None,
                           GLib.VariantType("(o)")).unpack()[0]
            rd_call(path, RD + ".Session", "Start")
            state["rd"] = path
            keys([(0xFFE1, True), (0xFFE1, False)])   # Shift: the seat gets its keyboard
            say("KEYED", "keyboard")
        elif cmd == "key":
            ctrl, digit = 0xFFE3, 0x30 + int(arg)
            keys([(ctrl, True), (digit, True), (digit, False), (ctrl, False)])
            say("KEYED", arg)
    except GLib.Error as e:
        say("ERROR", cmd, e.message)
    return True


new_window()
GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.IO_IN | GLib.IO_HUP, on_line)
Gtk.main()
"""


class NativeWindow:
    """NATIVE_PROGRAM running in `session` on its Wayland display."""

    def __init__(self, session):
        self.session = session
        path = os.path.join(session.root, "native_window.py")
        with open(path, "w") as f:
            f.write(NATIVE_PROGRAM)
        os.chmod(path, 0o644)
        self.err = os.path.join(session.root, "native_window.err")
        with open(self.err, "wb") as err:
            self.proc = session.popen(["python3", "-u", path],
                                      extra_env={"GDK_BACKEND": "wayland", "NO_AT_BRIDGE": "1"},
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err)
        self.buf = b""
        self.focused = False

    def stop(self):
        try:
            self.proc.stdin.close()
        except OSError:
            pass
        xs.stop(self.proc)
        self.proc.stdout.close()

    def lines(self, timeout):
        """The lines it prints within `timeout` s (at least one is waited
        for, unless the time runs out); the focus is tracked on the way."""
        out = []
        deadline = time.monotonic() + timeout
        while not out:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if not ready:
                break
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                raise AssertionError("the native window ended:\n"
                                     + xs.read_bytes(self.err).decode("utf-8", "replace"))
            self.buf += chunk
            *done, self.buf = self.buf.split(b"\n")
            for ln in done:
                text = ln.decode("utf-8", "replace")
                if text.startswith("FOCUS "):
                    self.focused = text == "FOCUS in"
                out.append(text)
        return out

    def wait(self, prefix, timeout=15.0, what=None):
        """Waits for a line starting with `prefix`; returns it."""
        deadline = time.monotonic() + timeout
        seen = []
        while time.monotonic() < deadline:
            for ln in self.lines(deadline - time.monotonic()):
                seen.append(ln)
                if ln.startswith("ERROR"):
                    raise AssertionError(ln)
                if ln.startswith(prefix):
                    return ln
        raise TimeoutError(f"{what or prefix!r} not seen within {timeout} s (saw {seen!r})")

    def wait_focus(self, focused, timeout=15.0):
        deadline = time.monotonic() + timeout
        while self.focused != focused:
            if time.monotonic() >= deadline:
                raise TimeoutError(f"native window focus {focused} not reached in {timeout} s")
            self.lines(min(0.2, deadline - time.monotonic()))

    def send(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def copy(self, word):
        self.send("copy " + word.decode())
        self.wait("COPIED")

    def paste(self):
        self.send("paste")
        text = ast.literal_eval(self.wait("PASTE ")[len("PASTE "):])
        return None if text is None else text.encode()

    def raise_new(self):
        """A fresh window, waited for until it has the focus."""
        self.focused = False
        self.send("window")
        self.wait_focus(True)

    def keyboard(self):
        self.send("keyboard")
        self.wait("KEYED keyboard")

    def ctrl(self, n):
        self.send(f"key {n}")
        self.wait(f"KEYED {n}")


class SessionChecks:
    """For a sway.MeruInSession: the history as MERU's commands reach it, the
    X11 side of the session, and what it lacks (tray). The class sets
    clipboard() to how the test reads the clipboard.

    Only a missing compositor skips the tests; anything else the session
    needs is installed with it, so its absence, or a compositor that does
    not start, is a failure."""

    @classmethod
    def setUpClass(cls):
        compositor = cls.session_class.needs[0]
        if not shutil.which(compositor):
            raise unittest.SkipTest(f"not installed: {compositor}")
        try:
            super().setUpClass()
        except unittest.SkipTest as e:
            raise RuntimeError(str(e)) from None

    # whether the compositor keeps the text of a clipboard whose owner ended
    keeps_clipboard = False

    def clipboard(self):
        raise NotImplementedError

    def end_meru(self, p):
        kept = self.clipboard() if self.keeps_clipboard and p.poll() is None else None
        super().end_meru(p)
        if kept is not None:
            # It takes the text over a moment after MERU ended: waited for,
            # so that it does not replace what the next test copies.
            xs.wait_for(lambda: self.clipboard() == kept, timeout=10, interval=0.1,
                        what="the clipboard kept by the compositor")

    def seed_copy(self, word):
        raise NotImplementedError

    def start_seeded(self, name):
        """MERU started with SEED on the clipboard, answering commands; a
        clipboard the compositor kept from an earlier test is replaced."""
        self.seed_copy(SEED)
        self.wait_clipboard(SEED, what="the seed copied")
        p, err = self.start_meru(name)
        self.wait_answering()
        return p, err

    def copy_words(self, copy):
        """Each of WORDS copied with copy(word) and waited for in the
        history, then the whole history checked."""
        for n, w in enumerate(WORDS, start=2):
            self.copy_captured(copy, n, w)
        self.assert_history(HISTORY)

    def x_clipboard(self):
        r = self.session.run(["xclip", "-o", "-selection", "clipboard"])
        return r.stdout if r.returncode == 0 else None

    def wl_clipboard(self):
        r = self.session.run(["wl-paste", "--no-newline"])
        return r.stdout if r.returncode == 0 else None

    def x_copy(self, word):
        # xclip's child keeps its output open: never capture it
        r = self.session.run(["xclip", "-selection", "clipboard", "-i"], input=word,
                             capture_output=False, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0)

    def wl_copy(self, word):
        # wl-copy's child keeps its output open: never capture it
        r = self.session.run(["wl-copy", "--", word.decode()], capture_output=False,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0)

    def wait_clipboard(self, expected, timeout=10.0, what="clipboard"):
        seen = [None]

        def check():
            seen.append(self.clipboard())
            return seen[-1] == expected
        try:
            xs.wait_for(check, timeout=timeout, interval=0.05, what=what)
        except TimeoutError:
            self.fail(f"{what}: the clipboard holds {seen[-1]!r}, expected {expected!r}")

    def select_gives(self, n, expected, timeout=10.0):
        """`meru --select n` puts `expected` on the clipboard. The clipboard
        is first made to hold another entry (entry 1, the seed, or entry 2
        for entry 1), so that the text seen is MERU's write and not a copy
        or an earlier write still there. Each --select is given 2 s to land
        before it is sent again."""
        other, other_text = (2, HISTORY[1]) if n == 1 else (1, SEED)
        steps = [(other, other_text), (n, expected)]
        seen = [None]
        deadline = time.monotonic() + timeout
        while True:
            for m, text in steps:
                r = self.session.run([self.meru, "--select", str(m)])
                self.assertEqual(r.returncode, 0, r.stderr)
                try:
                    xs.wait_for(lambda: seen.append(self.clipboard()) or seen[-1] == text,
                                timeout=2.0, interval=0.05, what=f"--select {m}")
                except TimeoutError:
                    break
            else:
                return
            if time.monotonic() >= deadline:
                self.fail(f"--select {m} gave {seen[-1]!r}, expected {text!r}")

    def key_selects(self, press, n, expected, timeout=15.0):
        """press() types Ctrl+n; waits until entry `n` is on the clipboard.
        Pressed again while not: right after a focus change XWayland may
        still have no focus window, and a key typed then goes nowhere."""
        deadline = time.monotonic() + timeout
        while True:
            press()
            try:
                return self.wait_clipboard(expected, timeout=2.0, what=f"Ctrl+{n}")
            except AssertionError:
                if time.monotonic() >= deadline:
                    raise

    def copy_captured(self, copy, n, word, timeout=20.0):
        """copy(word) makes a copy; waits until it is entry `n` of the
        history. A --select sent before MERU has read the copy, or whose
        write lands after it, replaces the copy before MERU sees it (the same
        as a user pressing Ctrl+N within milliseconds of copying): the copy
        is then made again, which adds nothing when it was seen."""
        deadline = time.monotonic() + timeout
        while True:
            copy(word)
            self.wait_clipboard(word, what=f"{word!r} copied")
            try:
                return self.select_gives(n, word, timeout=4.0)
            except AssertionError:
                if time.monotonic() >= deadline:
                    raise

    def assert_history(self, words):
        """Entries 1..len(words) are `words`."""
        for n, w in enumerate(words, start=1):
            self.select_gives(n, w)

    def xdotool(self, *args):
        r = self.session.run(["xdotool", *map(str, args)])
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout.decode().strip()

    def meru_main_window(self, timeout=15.0):
        def look():
            r = self.session.run(["xdotool", "search", "--onlyvisible", "--name",
                                  "^MERU version"])
            ids = r.stdout.decode().split()
            return int(ids[0]) if ids else 0
        return xs.wait_for(look, timeout=timeout, interval=0.1, what="MERU's main window")

    def focus_meru(self):
        win = self.meru_main_window()
        xs.wait_for(lambda: self.session.run(["xdotool", "windowactivate", "--sync", str(win)])
                    .returncode == 0
                    and self.session.run(["xdotool", "getactivewindow"]).stdout.decode().strip()
                    == str(win), timeout=15, interval=0.2, what="MERU's window focused")
        return win

    def check_no_tray(self):
        """No StatusNotifierItem watcher on the session bus, and MERU, finding
        no tray, leaves its minimised main window minimised (iconic) instead
        of hiding it in a tray (withdrawn)."""
        r = self.session.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                              "--object-path", "/org/freedesktop/DBus", "--method",
                              "org.freedesktop.DBus.NameHasOwner",
                              "org.kde.StatusNotifierWatcher"])
        self.assertEqual(r.stdout.decode().strip(), "(false,)", r.stderr)
        win = self.meru_main_window()
        self.xdotool("windowminimize", win)

        def state():
            r = self.session.run(["xprop", "-id", str(win), "WM_STATE"])
            return r.stdout.decode()
        xs.wait_for(lambda: "Iconic" in state(), timeout=10, interval=0.1,
                    what="main window minimised")
        self.assertTrue(xs.holds_for(lambda: "Iconic" in state(), 1.0, interval=0.2), state())
