"""Ctrl+1..5 through the desktop's GlobalShortcuts portal in a Wayland session,
against a fake portal (support/fake_portal.py) on a private session bus: what
MERU asks the portal to bind, an activation making a history entry current,
and the fall-back to the X11 grab when the portal is missing, refuses or
binds nothing. An X11 session leaves the portal alone.

Run through run-xsession:
  run-xsession python3 test_portal_shortcuts.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

FAKE_PORTAL = os.path.join(HERE, "support", "fake_portal.py")
IFACE = "org.freedesktop.portal.GlobalShortcuts"
SESSION_PREFIX = "/org/freedesktop/portal/desktop/session/"

# A Wayland session whose compositor is not there: MERU runs on the X server
# of the test session (QT_QPA_PLATFORM=xcb) and sees a Wayland desktop.
WAYLAND_ENV = {"WAYLAND_DISPLAY": "wayland-meru-none", "XDG_SESSION_TYPE": "wayland"}

# A session bus of our own: no service activation, so nothing but the fake
# can answer for the portal.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def python_with_dbus_next():
    # python3-dbus-next is Debian's: only Debian's own interpreter has it
    for py in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(py) and subprocess.run([py, "-c", "import dbus_next"],
                                                 capture_output=True, timeout=30).returncode == 0:
            return py
    raise RuntimeError("python3-dbus-next is missing (scripts/install-deps.sh installs it)")


def read_line(proc, timeout, what):
    """One line of proc's standard output, waiting at most timeout seconds."""
    deadline = time.monotonic() + timeout
    buf = b""
    fd = proc.stdout.fileno()
    while not buf.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError(f"{what}: nothing within {timeout} s")
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            chunk = os.read(fd, 1)
            if not chunk:
                raise RuntimeError(f"{what}: ended (exit {proc.wait(timeout=5)})")
            buf += chunk
    return buf.decode().strip()


class FakePortal:
    def __init__(self, test, bus_address, args):
        self.log = test.path(f"portal-{len(os.listdir(test.dir))}.jsonl")
        open(self.log, "w").close()
        err = open(test.path("portal.err"), "ab")
        self.proc = subprocess.Popen(
            [python_with_dbus_next(), FAKE_PORTAL, "--address", bus_address, "--log", self.log,
             *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err)
        err.close()
        test.addCleanup(self.close)
        test.portals.append(self)
        status = read_line(self.proc, 30, "the fake portal")
        if status != "ready":
            raise RuntimeError(f"the fake portal said {status!r}")

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                xs.stop(self.proc)
        self.proc.stdout.close()

    def send(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def records(self, call=None):
        with open(self.log, encoding="utf-8") as f:
            out = [json.loads(ln) for ln in f if ln.strip()]
        return [r for r in out if call is None or r.get("call") == call]


class PortalCase(xs.MeruTestCase):

    def setUp(self):
        super().setUp()
        self.portals = []
        # Another X11 program has the focus when the grab is tried.
        self.other = subprocess.Popen(["xlogo", "-geometry", "200x200+20+20"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        self.addCleanup(xs.stop, self.other)
        self.other_win = self.d.wait_window(wm_class="xlogo", timeout=10)

    def start_bus(self):
        bus_dir = self.path(f"bus-{len(os.listdir(self.dir))}")
        os.mkdir(bus_dir, 0o700)
        conf = os.path.join(bus_dir, "bus.conf")
        with open(conf, "w") as f:
            f.write(BUS_CONFIG.format(dir=bus_dir))
        p = subprocess.Popen(["dbus-daemon", "--nofork", "--config-file", conf,
                              "--print-address=1"],
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        self.addCleanup(p.stdout.close)
        self.addCleanup(xs.stop, p)
        return read_line(p, 20, "the private dbus-daemon")

    def spawn_meru(self, data, env, name):
        err_path = self.path(name + ".err")
        with open(err_path, "wb") as err:
            p = subprocess.Popen([xs.Config.meru, data], cwd=self.dir, env=env,
                                 stdin=subprocess.DEVNULL, stderr=err)
        self.addCleanup(xs.stop, p)
        rx = re.compile(xs.main_title_rx(data))
        xs.wait_for(lambda: p.poll() is None and self.d.find_windows(rx, viewable=True),
                    timeout=20, what="MERU's main window")
        return p, err_path

    def keys_note(self, err_path, count=1, timeout=20):
        """The count-th line saying which global keys are in use (waits for
        it; there must be no more)."""
        lines = []

        def look():
            text = xs.read_bytes(err_path).decode("utf-8", "replace")
            lines[:] = [ln for ln in text.splitlines() if "global keys:" in ln]
            return len(lines) >= count
        try:
            xs.wait_for(look, timeout=timeout, interval=0.05, what=f"global keys note {count}")
        except TimeoutError:
            calls = [r for f in self.portals[-1:] for r in f.records()]
            self.fail(f"no global keys note {count} within {timeout} s; stderr: "
                      f"{xs.read_bytes(err_path)!r}; the last portal: {calls}")
        self.assertEqual(len(lines), count, lines)
        return lines[-1]

    def expect_key(self, keys, expected):
        """Ctrl+N typed into another X11 program (the grab may be taken a
        little after the note)."""
        xs.key_until_clipboard(keys, expected, self.other_win)

    def wayland_env(self, bus_address):
        return dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address, **WAYLAND_ENV)


class PortalShortcuts(PortalCase):

    def test_binds_five_keys_and_activation_selects(self):
        bus = self.start_bus()
        portal = FakePortal(self, bus, [])
        xs.copy_text(b"alpha")
        data = self.path("p.mer")
        _, err = self.spawn_meru(data, self.wayland_env(bus), "meru")
        note = self.keys_note(err)
        self.assertIn("desktop portal", note)
        self.assertNotIn("X11 grab", note)

        gets = [r for r in portal.records("Get")
                if r["args"] == [IFACE, "version"]]
        self.assertTrue(gets, portal.records())
        (created,) = portal.records("CreateSession")
        (bind,) = portal.records("BindShortcuts")
        session_token = created["options"]["session_handle_token"]
        self.assertTrue(bind["session"].startswith(SESSION_PREFIX), bind)
        self.assertTrue(bind["session"].endswith("/" + session_token), bind)
        self.assertEqual(bind["parent_window"], "")
        self.assertNotEqual(bind["options"]["handle_token"], created["options"]["handle_token"])
        self.assertEqual([s[0] for s in bind["shortcuts"]],
                         [f"select-{n}" for n in range(1, 6)])
        self.assertEqual([s[1]["preferred_trigger"] for s in bind["shortcuts"]],
                         [f"CTRL+{n}" for n in range(1, 6)])
        descriptions = [s[1]["description"] for s in bind["shortcuts"]]
        self.assertEqual(len(set(descriptions)), 5, descriptions)
        self.assertTrue(all(descriptions), descriptions)

        # a history of four entries, the newest current; each copy is seen
        # before the next is made (copies in quick succession may merge)
        for t in (b"beta", b"gamma", b"delta"):
            xs.copy_text(t)
            xs.select_until(5, t)  # fewer than five entries: the newest

        portal.send("activate select-3")
        xs.wait_for(lambda: xs.read_clip() == b"gamma", timeout=10,
                    what="entry 3 on the clipboard")

        # not ours: another session's shortcut, ids outside select-1..5
        portal.send(f"activate select-1 {SESSION_PREFIX}someone/else")
        for sid in ("select-0", "select-6", "select-", "select-1x"):
            portal.send(f"activate {sid}")
        self.assertTrue(xs.holds_for(lambda: xs.read_clip() == b"gamma", 1.0, interval=0.05),
                        f"the clipboard changed to {xs.read_clip()!r}")
        portal.send("activate select-1")
        xs.wait_for(lambda: xs.read_clip() == b"alpha", timeout=10,
                    what="entry 1 on the clipboard")

        # the desktop ends the session: the keys are dead there, the grab
        # takes over and says so
        portal.send("close-session")
        note = self.keys_note(err, count=2)
        self.assertIn("X11 grab", note)
        self.assertIn("ended the shortcuts session", note)
        self.expect_key("ctrl+2", b"beta")

    def test_falls_back_to_the_grab(self):
        cases = [
            # (what, fake portal arguments or None for none at all,
            #  words of the reason, whether a session was made and must be closed)
            ("no portal on the bus", None, "none runs", False),
            ("portal without GlobalShortcuts", ["--no-interface"], "no global shortcuts", False),
            ("session refused", ["--create-response", "2"], "refused a shortcuts session",
             False),
            ("keys not confirmed", ["--bind-response", "1"], "not confirmed", True),
            ("binding refused", ["--bind-response", "2"], "refused to bind", True),
            ("nothing bound", ["--bind-only", ""], "bound none", True),
        ]
        for i, (what, args, why, closes) in enumerate(cases):
            with self.subTest(what):
                bus = self.start_bus()
                portal = FakePortal(self, bus, args) if args is not None else None
                xs.copy_text(b"one %d" % i)
                p, err = self.spawn_meru(self.path(f"f{i}.mer"), self.wayland_env(bus),
                                         f"meru-{i}")
                # the next case's copy must not find this one running
                try:
                    note = self.keys_note(err)
                    self.assertIn("X11 grab", note)
                    self.assertIn(why, note)
                    self.assertIn('"meru --select N"', note)
                    xs.copy_text(b"two %d" % i)
                    self.expect_key("ctrl+2", b"two %d" % i)
                    self.expect_key("ctrl+1", b"one %d" % i)
                    if closes:
                        (bind,) = portal.records("BindShortcuts")
                        xs.wait_for(lambda: [r["path"] for r in portal.records("Close")]
                                    == [bind["session"]], timeout=10, what="the session closed")
                finally:
                    xs.stop(p)

    def test_x11_session_keeps_the_grab(self):
        bus = self.start_bus()
        portal = FakePortal(self, bus, [])
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus, XDG_SESSION_TYPE="x11")
        env.pop("WAYLAND_DISPLAY", None)
        xs.copy_text(b"first")
        _, err = self.spawn_meru(self.path("x.mer"), env, "meru-x11")
        xs.copy_text(b"second")
        self.expect_key("ctrl+2", b"second")
        self.expect_key("ctrl+1", b"first")
        asked = [r for r in portal.records()
                 if r.get("call") in ("CreateSession", "BindShortcuts")
                 or (r.get("call") == "Get" and r["args"][0] == IFACE)]
        self.assertEqual(asked, [])
        self.assertNotIn(b"global keys", xs.read_bytes(err))


if __name__ == "__main__":
    xs.test_main()
