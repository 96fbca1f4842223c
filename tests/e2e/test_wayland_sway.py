"""MERU in headless Wayland sessions. In sway, with a native Wayland window
focused (foot), every text copied with wl-copy reaches the clipboard history
through the compositor's data-control; told to do without it, MERU falls back
to the clipboard of XWayland, which sees copies while an X11 window has the
focus, and says so. Ctrl+1..5 typed through the compositor (wtype) reach
MERU's grab while an X11 window has the focus, not while foot has it; a sway
binding running `meru --select N` makes them work there too. In weston,
which offers no data-control, MERU falls back by itself and says why.

sway refuses to run as root: as root each session (compositor, clients and
MERU) runs as `nobody` with a private runtime folder, else as the current
user. A class is skipped, with the reason, where its programs are missing or
its compositor cannot start.

Run through run-xsession (its X server is not used, MERU runs on sway's
XWayland):
  run-xsession python3 test_wayland_sway.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

NOBODY = 65534
WORDS = [b"alpha", b"beta", b"gamma", b"delta", b"epsilon"]


class Session:
    """A headless compositor with XWayland and its clients, run as `uid`
    (group `gid`) in `root`; start() says whether it came up."""
    name = "session"
    needs = []

    def __init__(self, root, uid, gid):
        self.root = root
        self.uid = uid
        self.gid = gid
        self.home = os.path.join(root, "home")
        self.run_dir = os.path.join(root, "run")
        for d in (self.home, self.run_dir):
            os.mkdir(d, 0o700)
            os.chown(d, uid, gid)
        self.log = os.path.join(root, f"{self.name}.log")
        self.env = None
        self.proc = None

    def base_env(self):
        return {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.home,
                "XDG_RUNTIME_DIR": self.run_dir, "LANG": "C.UTF-8"}

    def argv(self, args):
        if os.getuid() == self.uid:
            return list(args)
        return ["setpriv", f"--reuid={self.uid}", f"--regid={self.gid}", "--clear-groups",
                *args]

    def launch(self, args, env):
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen(self.argv(args), env=env, cwd=self.home,
                                         stdin=subprocess.DEVNULL, stdout=log,
                                         stderr=subprocess.STDOUT)

    def wait_started(self, ready, timeout):
        """Waits for ready() (a true value) while the compositor runs."""
        try:
            return xs.wait_for(lambda: self.proc.poll() is not None or ready(),
                               timeout=timeout, interval=0.05,
                               what=f"{self.name}'s start") and self.proc.poll() is None
        except TimeoutError:
            return False

    def wait_x_socket(self, display, timeout):
        x_socket = "/tmp/.X11-unix/X" + display.lstrip(":").split(".")[0]
        return self.wait_started(lambda: os.path.exists(x_socket), timeout)

    def stop(self):
        if self.proc:
            xs.stop(self.proc)

    def log_text(self):
        try:
            return xs.read_bytes(self.log).decode("utf-8", "replace")
        except OSError:
            return ""

    def popen(self, args, extra_env=None, **kw):
        env = dict(self.env, **(extra_env or {}))
        kw.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.Popen(self.argv(args), env=env, cwd=self.home, **kw)

    def run(self, args, timeout=15, extra_env=None, **kw):
        env = dict(self.env, **(extra_env or {}))
        kw.setdefault("capture_output", True)
        return subprocess.run(self.argv(args), env=env, cwd=self.home, timeout=timeout, **kw)


class SwaySession(Session):
    """sway on the headless backend, XWayland started at once."""
    name = "sway"
    needs = ["sway", "swaymsg", "foot", "wl-copy", "wl-paste", "Xwayland", "wtype", "xlogo"]

    def start(self, timeout=30.0):
        env_file = os.path.join(self.home, "session-env")
        config = os.path.join(self.root, "sway.config")
        with open(config, "w") as f:
            f.write("xwayland force\n"
                    "output HEADLESS-1 resolution 1024x768\n"
                    # what the programs of this session need to reach it
                    f"exec printf '%s\\n%s\\n%s\\n' \"$WAYLAND_DISPLAY\" \"$DISPLAY\" "
                    f"\"$SWAYSOCK\" > {env_file}.tmp && mv {env_file}.tmp {env_file}\n")
        self.launch(["sway", "-c", config],
                    dict(self.base_env(), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                         WLR_RENDERER="pixman"))
        if not self.wait_started(lambda: os.path.exists(env_file), timeout):
            return False
        with open(env_file) as f:
            wayland, display, sock = (f.read().splitlines() + ["", "", ""])[:3]
        if not (wayland and display and sock):
            return False
        self.env = dict(self.base_env(), WAYLAND_DISPLAY=wayland, DISPLAY=display,
                        SWAYSOCK=sock, XDG_SESSION_TYPE="wayland")
        return self.wait_x_socket(display, timeout)

    def tree(self):
        r = self.run(["swaymsg", "-r", "-t", "get_tree"])
        return json.loads(r.stdout) if r.returncode == 0 else {}

    def focused(self):
        """(app_id, X11 class) of the focused window, or None."""
        def walk(n):
            if n.get("focused") and n.get("type") in ("con", "floating_con"):
                return (n.get("app_id"), (n.get("window_properties") or {}).get("class"))
            for c in n.get("nodes", []) + n.get("floating_nodes", []):
                f = walk(c)
                if f:
                    return f
            return None
        return walk(self.tree())

    def focus(self, criteria, is_focused, timeout=15.0):
        def look():
            self.run(["swaymsg", f"{criteria} focus"])
            f = self.focused()
            return f is not None and is_focused(f)
        xs.wait_for(look, timeout=timeout, interval=0.1, what=f"{criteria} focused")


class WestonSession(Session):
    """weston on its headless backend: no data-control; XWayland on demand."""
    name = "weston"
    needs = ["weston", "Xwayland"]
    SOCKET = "wayland-meru"

    def start(self, timeout=30.0):
        self.launch(["weston", "--backend=headless-backend.so", "--xwayland",
                     f"--socket={self.SOCKET}", "--idle-time=0"], self.base_env())
        rx = re.compile(r"xserver listening on display (:\d+)")
        m = self.wait_started(lambda: rx.search(self.log_text()), timeout)
        if not m:
            return False
        display = rx.search(self.log_text()).group(1)
        self.env = dict(self.base_env(), WAYLAND_DISPLAY=self.SOCKET, DISPLAY=display,
                        XDG_SESSION_TYPE="wayland")
        return self.wait_x_socket(display, timeout)


class MeruInSession(unittest.TestCase):
    """One compositor session per class (`session_class`), MERU started in it
    by the tests."""
    session_class = None

    @classmethod
    def setUpClass(cls):
        missing = [p for p in cls.session_class.needs if not shutil.which(p)]
        if missing:
            raise unittest.SkipTest("not installed: " + ", ".join(missing))
        uid, gid = os.getuid(), os.getgid()
        if uid == 0:
            uid = gid = NOBODY
            if not shutil.which("setpriv"):
                raise unittest.SkipTest("running as root without setpriv")
        # The session's folder where that user can reach it: the test's own
        # temporary folder is private to the user running it.
        cls.root = tempfile.mkdtemp(prefix="meru-wl-", dir="/tmp" if uid == NOBODY else None)
        os.chmod(cls.root, 0o755)
        cls.session = cls.session_class(cls.root, uid, gid)
        # The binary where that user can run it (the build folder may be in
        # root's home).
        cls.meru = os.path.join(cls.root, "meru")
        shutil.copy2(xs.Config.meru, cls.meru)
        os.chmod(cls.meru, 0o755)
        if not cls.session.start():
            tail = "\n".join(cls.session.log_text().splitlines()[-15:])
            cls.session.stop()
            shutil.rmtree(cls.root, ignore_errors=True)
            raise unittest.SkipTest(f"{cls.session.name} could not start here:\n{tail}")

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()
        if xs.Config.artifacts:
            shutil.copy(cls.session.log,
                        os.path.join(xs.Config.artifacts, f"{cls.session.name}.log"))
        shutil.rmtree(cls.root, ignore_errors=True)

    def start_meru(self, name, extra_env=None):
        """MERU on a fresh data file in the session; returns (process, stderr path)."""
        data_dir = os.path.join(self.session.home, name)
        os.mkdir(data_dir)
        os.chown(data_dir, self.session.uid, self.session.gid)
        err_path = os.path.join(xs.Config.artifacts, f"{self.session.name}-{name}.err")
        with open(err_path, "wb") as err:
            p = self.session.popen([self.meru, os.path.join(data_dir, "m.mer")],
                                   extra_env=extra_env, stdout=subprocess.DEVNULL, stderr=err)
        self.addCleanup(self.end_meru, p)
        return p, err_path

    def end_meru(self, p):
        if p.poll() is None:
            self.session.run([self.meru, "--exit"])
            try:
                xs.wait_exit(p, timeout=10)
            except TimeoutError:
                xs.stop(p)

    def wait_line(self, p, err_path, prefix, timeout=20.0):
        def look():
            if p.poll() is not None:
                raise AssertionError(f"meru ended with {p.returncode}:\n"
                                     + xs.read_bytes(err_path).decode("utf-8", "replace"))
            text = xs.read_bytes(err_path).decode("utf-8", "replace")
            return [ln for ln in text.splitlines() if ln.startswith(prefix)]
        return xs.wait_for(look, timeout=timeout, interval=0.05, what=f"'{prefix}' on stderr")

    def wait_answering(self, timeout=20.0):
        xs.wait_for(lambda: self.session.run([self.meru, "--show", "main"]).returncode == 0,
                    timeout=timeout, interval=0.1, what="meru answering commands")


class WaylandSway(MeruInSession):
    session_class = SwaySession

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.foot = cls.session.popen(["foot", "--", "sleep", "600"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        xs.stop(cls.foot)
        super().tearDownClass()

    def copy_and_wait_read(self, word, timeout=10.0):
        """wl-copy that serves one paste and ends: its end shows MERU read it
        (nothing else in the session asks for the clipboard). Its owner gone,
        MERU puts the entry back: waited for, so that the next copy is not
        made while that write is on its way."""
        p = self.session.popen(["wl-copy", "--foreground", "--paste-once", "--", word.decode()],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(xs.wait_exit(p, timeout=timeout), 0)
        except TimeoutError:
            xs.stop(p)
            self.fail(f"nobody read {word!r} from the clipboard within {timeout} s")
        seen = []

        def back():
            seen.append(self.paste())
            return seen[-1] == word
        try:
            xs.wait_for(back, timeout=timeout, interval=0.05, what="the copy put back")
        except TimeoutError:
            self.fail(f"{word!r} not put back on the clipboard: a paste gave {seen[-1]!r}")

    def paste(self):
        r = self.session.run(["wl-paste", "--no-newline"])
        return r.stdout if r.returncode == 0 else None

    def select_gives(self, n, expected, timeout=10.0):
        xs.select_until(n, expected, timeout=timeout, read=self.paste,
                        run=lambda args: self.session.run([self.meru, *args]))

    def type_ctrl(self, n):
        """Ctrl+n typed through the compositor (wtype's virtual keyboard, as
        a real keyboard's keys come). wtype hands the seat a keymap of its
        own first, and XWayland loses a key press that comes right after a
        new keymap (seen here without the pause: only the release arrived),
        so it waits a moment before the keys."""
        r = self.session.run(["wtype", "-s", "150", "-M", "ctrl", "-s", "50", "-k", str(n),
                              "-m", "ctrl"])
        self.assertEqual(r.returncode, 0, r.stderr)

    def history_of_three(self, name):
        """MERU (data folder `name`) with the entries alpha, beta, gamma and
        alpha current, foot focused; returns the process."""
        p, err = self.start_meru(name)
        self.wait_line(p, err, "clipboard:")
        self.wait_answering()
        self.session.focus('[app_id="foot"]', lambda f: f == ("foot", None))
        for w in WORDS[:3]:
            self.copy_and_wait_read(w)
        self.select_gives(1, WORDS[0])
        return p

    def test_copies_in_wayland_programs_reach_the_history(self):
        p, err = self.start_meru("native")
        lines = self.wait_line(p, err, "clipboard:")
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("Wayland data-control", lines[0])
        self.wait_answering()
        # MERU's main window (XWayland) took the focus: give it back to foot
        self.session.focus('[app_id="foot"]', lambda f: f == ("foot", None))
        for w in WORDS:
            self.copy_and_wait_read(w)
        self.assertEqual(self.session.focused(), ("foot", None))
        for n, w in enumerate(WORDS, start=1):
            self.select_gives(n, w)
        self.assertIsNone(p.poll())

    def test_without_data_control_xwayland_and_said(self):
        p, err = self.start_meru("x11", extra_env={"MERU_CLIPBOARD": "x11"})
        lines = self.wait_line(p, err, "clipboard:")
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("XWayland", lines[0])
        self.assertIn("only while an X11 window has the focus", lines[0])
        self.wait_answering()
        # With an X11 window (MERU's own) focused, sway hands copies over to
        # XWayland, where Qt sees them.
        self.session.focus('[shell="xwayland"]', lambda f: f[0] is None)
        # wl-copy's child keeps its output open: never capture it
        self.assertEqual(self.session.run(["wl-copy", "--", "zeta"], capture_output=False,
                                          stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL).returncode, 0)
        self.select_gives(1, b"zeta")

    def test_ctrl_digit_reaches_meru_while_an_x11_window_has_the_focus(self):
        p = self.history_of_three("keys-x11")
        xlogo = self.session.popen(["xlogo"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(xs.stop, xlogo)
        self.session.focus('[class="XLogo"]', lambda f: f == (None, "XLogo"))
        # Typed again until it lands: every wtype run hands XWayland a new
        # keymap, on which MERU grabs the digits anew, and a key may come
        # before that grab is in place (a real keyboard keeps its keymap).
        xs.act_until_clipboard(lambda: self.type_ctrl(3), WORDS[2],
                               "Ctrl+3 with xlogo focused", read=self.paste)
        xs.act_until_clipboard(lambda: self.type_ctrl(2), WORDS[1],
                               "Ctrl+2 with xlogo focused", read=self.paste)
        self.assertEqual(self.session.focused(), (None, "XLogo"))
        self.assertIsNone(p.poll())

    def test_ctrl_digit_with_foot_focused_needs_a_sway_binding(self):
        p = self.history_of_three("keys-foot")
        self.assertEqual(self.session.focused(), ("foot", None))
        # Nothing reaches MERU: the keys go to foot alone. Whether something
        # does NOT happen can only be watched for a while; when the key does
        # act, the clipboard changes within a fraction of a second (the test
        # above), so three keys and 1.5 s without a change show it (three,
        # because with an X11 window focused a key may need a second try).
        for _ in range(3):
            self.type_ctrl(3)
        self.assertTrue(xs.holds_for(lambda: self.paste() == WORDS[0], 1.5, interval=0.05),
                        f"Ctrl+3 with foot focused changed the clipboard to {self.paste()!r}")
        # sway's own binding runs `meru --select 3` wherever the focus is
        r = self.session.run(["swaymsg", f"bindsym Ctrl+3 exec {self.meru} --select 3"])
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.addCleanup(self.session.run, ["swaymsg", "unbindsym Ctrl+3"])
        # typed once: sway reads the key with the keymap it was handed, and
        # the binding's command takes a moment
        self.type_ctrl(3)
        xs.wait_for(lambda: self.paste() == WORDS[2], timeout=10, interval=0.05,
                    what="Ctrl+3 bound in sway, foot focused: gamma on the clipboard")
        self.assertEqual(self.session.focused(), ("foot", None))
        self.assertIsNone(p.poll())


class WaylandWithoutDataControl(MeruInSession):
    """weston offers no data-control: MERU finds that out by itself."""
    session_class = WestonSession

    def test_falls_back_and_says_why(self):
        p, err = self.start_meru("weston")
        lines = self.wait_line(p, err, "clipboard:")
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("XWayland", lines[0])
        self.assertIn("no data-control", lines[0])
        # and it runs there as usual
        self.wait_answering()
        self.assertIsNone(p.poll())


if __name__ == "__main__":
    xs.test_main()
