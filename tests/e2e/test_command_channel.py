"""Commands to the running copy: `meru --select N`, `--show WINDOW`, `--exit`
reach the copy on the same display over its private socket; without a copy
they fail clearly, and another user's copy can be neither reached nor
driven.

Run through run-xsession:
  run-xsession python3 test_command_channel.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

LOCK_NAME = "MERU_BY_TESSALUNDE_2314"


def command(*args, env=None):
    return subprocess.run([xs.Config.meru, *args], capture_output=True, text=True, timeout=60,
                          env=env, stdin=subprocess.DEVNULL)


class CommandChannel(xs.MeruTestCase):

    def wait_ready(self):
        """Until the running copy takes commands (its socket is made after the
        main window is up)."""
        xs.wait_for(lambda: command("--show", "main").returncode == 0, timeout=15,
                    interval=0.1, what="the command channel")

    def test_select_show_exit(self):
        data = self.path("c.mer")
        xs.copy_text(b"alpha")
        m, _ = self.start_shown(data)
        self.wait_ready()
        for t in (b"beta", b"gamma"):
            xs.copy_text(t)
            xs.select_until(5, t)  # fewer than five entries: the newest
        xs.select_until(1, b"alpha", timeout=1)
        xs.select_until(3, b"gamma", timeout=1)
        xs.select_until(2, b"beta", timeout=1)

        rx = re.compile("^" + re.escape(f"{xs.MERU_TITLE} - NOTES - [{data}]") + "$")
        self.assertFalse(self.d.find_windows(rx, viewable=True))
        r = command("--show", "notes")
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.d.wait_window(rx, viewable=True, timeout=10)

        # --exit returns once the copy has saved and ended
        self.assertFalse(os.path.exists(data))
        r = command("--exit")
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertEqual(m.wait_exit(timeout=2), 0)
        self.assertTrue(os.path.getsize(data) > 0, "saved at the end")

        # nothing runs now
        r = command("--select", "1")
        self.assertEqual(r.returncode, 1)
        self.assertIn("no copy of MERU is running", r.stderr)

    def test_bad_switches_and_no_copy(self):
        cases = [
            (["--select", "1"], 1, "no copy of MERU is running"),
            (["--show", "notes"], 1, "no copy of MERU is running"),
            (["--exit"], 1, "no copy of MERU is running"),
            (["--select", "6"], 2, "--select takes a number from 1 to 5"),
            (["--select"], 2, "--select takes a number from 1 to 5"),
            (["--show", "settings"], 2, "--show takes one of"),
            (["--select", "1", "--exit"], 2, "one command at a time"),
        ]
        for args, code, text in cases:
            with self.subTest(args=args):
                r = command(*args)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(text, r.stderr)
                self.assertEqual(r.stdout, "")
        # a bad switch never reaches a running copy (it would end it)
        m, _ = self.start_shown(self.path("d.mer"))
        self.wait_ready()
        r = command("--exit", "--show", "bogus")
        self.assertEqual(r.returncode, 2)
        self.assertTrue(xs.holds_for(m.alive, 0.5))

    def test_another_users_copy(self):
        if os.getuid() != 0:
            self.skipTest("needs root to start a copy as another user")
        other = pwd.getpwnam("nobody")
        # a folder nobody can reach (ours is private)
        home = tempfile.mkdtemp(prefix="meru-nobody-", dir="/tmp")
        self.addCleanup(shutil.rmtree, home, True)
        os.chown(home, other.pw_uid, other.pw_gid)
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=home, TMPDIR=home, USER="nobody",
                   XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home, XDG_DATA_HOME=home)
        data = os.path.join(home, "n.mer")
        p = subprocess.Popen(["setpriv", f"--reuid={other.pw_uid}", f"--regid={other.pw_gid}",
                              "--clear-groups", xs.Config.meru, data],
                             env=env, cwd=home, stdin=subprocess.DEVNULL)
        self.addCleanup(xs.stop, p)
        sock = None
        pattern = re.compile(re.escape(LOCK_NAME) + r"-.*\.sock$")

        def find_socket():
            nonlocal sock
            names = [n for n in os.listdir(home) if pattern.match(n)]
            sock = os.path.join(home, names[0]) if names else None
            return p.poll() is None and sock is not None
        xs.wait_for(find_socket, timeout=15, interval=0.1, what="nobody's copy listening")
        self.assertEqual(os.stat(sock).st_mode & 0o777, 0o600)
        self.assertEqual(os.stat(home).st_mode & 0o777, 0o700)

        # our own commands find no copy of ours
        r = command("--select", "1")
        self.assertEqual(r.returncode, 1)
        self.assertIn("no copy of MERU is running", r.stderr)
        # pointed at the other user's folder, the command refuses it
        r = command("--exit", env=dict(os.environ, XDG_RUNTIME_DIR=home))
        self.assertEqual(r.returncode, 1)
        self.assertIn("no copy of MERU is running", r.stderr)
        # and talking to its socket directly (root passes the folder's
        # permissions) gets no answer: the copy serves its own user only
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.settimeout(10)
        s.connect(sock)
        s.sendall(b"exit\n")
        try:
            answer = s.recv(100)
        except ConnectionResetError:  # closed with our request unread
            answer = b""
        finally:
            s.close()
        self.assertEqual(answer, b"")
        self.assertTrue(xs.holds_for(lambda: p.poll() is None, 1.0), "nobody's copy kept running")
        self.assertFalse(os.path.exists(data))


if __name__ == "__main__":
    xs.test_main()
