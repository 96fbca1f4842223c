"""MERU in a headless sway session: with a native Wayland window focused
(foot), every text copied with wl-copy reaches the clipboard history through
the compositor's data-control; told to do without it, MERU falls back to the
clipboard of XWayland and says so.

sway refuses to run as root: as root the session (sway, foot, wl-copy and
MERU) runs as `nobody` with a private runtime folder, else as the current
user. Skipped, with the reason, where sway, foot or wl-clipboard is missing
or sway cannot start.

Run through run-xsession (its X server is not used, MERU runs on sway's
XWayland):
  run-xsession python3 test_wayland_sway.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
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
NEEDED = ["sway", "swaymsg", "foot", "wl-copy", "wl-paste", "Xwayland"]


class SwaySession:
    """sway on the headless backend with XWayland, run as `uid`."""

    def __init__(self, root, uid):
        self.root = root
        self.uid = uid
        self.home = os.path.join(root, "home")
        self.run_dir = os.path.join(root, "run")
        for d in (self.home, self.run_dir):
            os.mkdir(d, 0o700)
            os.chown(d, uid, uid if uid != NOBODY else NOBODY)
        self.env_file = os.path.join(self.home, "session-env")
        self.log = os.path.join(root, "sway.log")
        self.env = None
        self.proc = None

    def base_env(self):
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.home,
               "XDG_RUNTIME_DIR": self.run_dir, "LANG": "C.UTF-8"}
        return env

    def argv(self, args):
        if os.getuid() == self.uid:
            return list(args)
        return ["setpriv", f"--reuid={self.uid}", f"--regid={self.uid}", "--clear-groups",
                *args]

    def start(self, timeout=30.0):
        config = os.path.join(self.root, "sway.config")
        with open(config, "w") as f:
            f.write("xwayland force\n"
                    "output HEADLESS-1 resolution 1024x768\n"
                    # what the programs of this session need to reach it
                    f"exec printf '%s\\n%s\\n%s\\n' \"$WAYLAND_DISPLAY\" \"$DISPLAY\" "
                    f"\"$SWAYSOCK\" > {self.env_file}.tmp && mv {self.env_file}.tmp "
                    f"{self.env_file}\n")
        env = dict(self.base_env(), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                   WLR_RENDERER="pixman")
        with open(self.log, "wb") as log:
            self.proc = subprocess.Popen(self.argv(["sway", "-c", config]), env=env,
                                         cwd=self.home, stdin=subprocess.DEVNULL,
                                         stdout=log, stderr=subprocess.STDOUT)
        try:
            xs.wait_for(lambda: self.proc.poll() is not None or os.path.exists(self.env_file),
                        timeout=timeout, interval=0.05, what="sway's start")
        except TimeoutError:
            return False
        if self.proc.poll() is not None:
            return False
        with open(self.env_file) as f:
            wayland, display, sock = (f.read().splitlines() + ["", "", ""])[:3]
        if not (wayland and display and sock):
            return False
        self.env = dict(self.base_env(), WAYLAND_DISPLAY=wayland, DISPLAY=display,
                        SWAYSOCK=sock, XDG_SESSION_TYPE="wayland")
        x_socket = "/tmp/.X11-unix/X" + display.lstrip(":").split(".")[0]
        try:
            xs.wait_for(lambda: os.path.exists(x_socket), timeout=timeout, interval=0.05,
                        what="XWayland's socket")
        except TimeoutError:
            return False
        return True

    def stop(self):
        if self.proc:
            xs.stop(self.proc)

    def log_tail(self, n=15):
        try:
            return "\n".join(xs.read_bytes(self.log).decode("utf-8", "replace").splitlines()[-n:])
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

    def tree(self):
        r = self.run(["swaymsg", "-r", "-t", "get_tree"])
        return json.loads(r.stdout) if r.returncode == 0 else {}

    def focused(self):
        """(app_id, window class) of the focused window, or None."""
        def walk(n):
            if n.get("focused") and n.get("type") in ("con", "floating_con"):
                return (n.get("app_id"), (n.get("window_properties") or {}).get("class"))
            for c in n.get("nodes", []) + n.get("floating_nodes", []):
                f = walk(c)
                if f:
                    return f
            return None
        return walk(self.tree())

    def wait_foot_focused(self, timeout=15.0):
        def look():
            self.run(["swaymsg", '[app_id="foot"] focus'])
            return self.focused() == ("foot", None)
        xs.wait_for(look, timeout=timeout, interval=0.1, what="foot focused")


class WaylandSway(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        missing = [p for p in NEEDED if not shutil.which(p)]
        if missing:
            raise unittest.SkipTest("not installed: " + ", ".join(missing))
        uid = os.getuid()
        if uid == 0:
            uid = NOBODY
            if not shutil.which("setpriv"):
                raise unittest.SkipTest("running as root without setpriv")
        # The session's folder where that user can reach it: the test's own
        # temporary folder is private to the user running it.
        cls.root = tempfile.mkdtemp(prefix="meru-sway-", dir="/tmp" if uid == NOBODY else None)
        os.chmod(cls.root, 0o755)
        cls.session = SwaySession(cls.root, uid)
        # The binary where that user can run it (the build folder may be in
        # root's home).
        cls.meru = os.path.join(cls.root, "meru")
        shutil.copy2(xs.Config.meru, cls.meru)
        os.chmod(cls.meru, 0o755)
        if not cls.session.start():
            tail = cls.session.log_tail()
            cls.session.stop()
            shutil.rmtree(cls.root, ignore_errors=True)
            raise unittest.SkipTest("sway could not start here:\n" + tail)
        cls.foot = cls.session.popen(["foot", "--", "sleep", "600"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        xs.stop(cls.foot)
        cls.session.stop()
        if xs.Config.artifacts:
            shutil.copy(cls.session.log, os.path.join(xs.Config.artifacts, "sway.log"))
        shutil.rmtree(cls.root, ignore_errors=True)

    def start_meru(self, name, extra_env=None):
        """MERU on a fresh data file in the session; returns (process, stderr path)."""
        data_dir = os.path.join(self.session.home, name)
        os.mkdir(data_dir)
        os.chown(data_dir, self.session.uid, self.session.uid)
        err_path = os.path.join(xs.Config.artifacts, f"sway-{name}.err")
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
        xs.wait_for(lambda: self.paste() == word, timeout=timeout, interval=0.05,
                    what=f"{word!r} put back on the clipboard")

    def paste(self):
        r = self.session.run(["wl-paste", "--no-newline"])
        return r.stdout if r.returncode == 0 else None

    def select_gives(self, n, expected, timeout=10.0):
        seen = []

        def check():
            self.assertEqual(self.session.run([self.meru, "--select", str(n)]).returncode, 0)
            seen.append(self.paste())
            return seen[-1] == expected
        try:
            xs.wait_for(check, timeout=timeout, interval=0.1, what=f"--select {n}")
        except TimeoutError:
            self.fail(f"--select {n} gave {seen[-1:]!r}, expected {expected!r}")

    def test_copies_in_wayland_programs_reach_the_history(self):
        p, err = self.start_meru("native")
        lines = self.wait_line(p, err, "clipboard:")
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("Wayland data-control", lines[0])
        self.wait_answering()
        # MERU's main window (XWayland) took the focus: give it back to foot
        self.session.wait_foot_focused()
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
        def meru_focused():
            self.session.run(["swaymsg", '[shell="xwayland"] focus'])
            f = self.session.focused()
            return f is not None and f[0] is None
        xs.wait_for(meru_focused, timeout=15, interval=0.1, what="MERU's window focused")
        # wl-copy's child keeps its output open: never capture it
        self.assertEqual(self.session.run(["wl-copy", "--", "zeta"], capture_output=False,
                                          stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL).returncode, 0)
        self.select_gives(1, b"zeta")


if __name__ == "__main__":
    xs.test_main()
