"""The single-instance lock cannot be taken over by another local user.

Without XDG_RUNTIME_DIR the lock lives in a private folder of the user's own
under $TMPDIR; `nobody` plays the other user, in a shared sticky folder like
/tmp. When the lock cannot be had safely, MERU says why and ends non-zero.

  run-xsession python3 test_instance_lock.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

LOCK_NAME = "MERU_BY_TESSALUNDE_2314"


class InstanceLock(xs.MeruTestCase):

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0:
            self.skipTest("needs root to act as a second user (nobody)")
        # A shared folder like /tmp, of this test only.
        self.shared = tempfile.mkdtemp(prefix="meru-shared-", dir="/tmp")
        os.chmod(self.shared, 0o1777)
        self.addCleanup(shutil.rmtree, self.shared, True)
        self.display = os.environ["DISPLAY"]
        self.holders = []
        self.addCleanup(self._stop_holders)

    def _stop_holders(self):
        for p in self.holders:
            xs.stop(p)

    def nobody(self, *cmd):
        subprocess.run(["runuser", "-u", "nobody", "--", *cmd], check=True, timeout=10)

    def start_meru(self, name):
        m = xs.Meru(xs.Config.meru, self.path(name), cwd=self.dir,
                    extra_env={"TMPDIR": self.shared, "XDG_RUNTIME_DIR": ""})
        self._merus.append(m)
        return m

    def test_a_lock_planted_by_another_user_does_not_stop_meru(self):
        # The other user holds lock files where MERU once looked for its own
        # (named after this test's display, so no other session is touched).
        name = f"{LOCK_NAME}-{os.getuid()}-{self.display}.lock"
        for folder in (self.shared, "/tmp"):
            planted = os.path.join(folder, name)
            if os.path.lexists(planted):
                os.unlink(planted)
            self.addCleanup(lambda p=planted: os.path.lexists(p) and os.unlink(p))
            holder = subprocess.Popen(["runuser", "-u", "nobody", "--", "flock", "-n", planted,
                                       "sleep", "120"])
            self.holders.append(holder)
            xs.wait_for(lambda p=planted: os.path.exists(p), what="the planted lock")
        m = self.start_meru("mine.mer")
        win = m.wait_main_window(self.d)
        # ... and the lock is really MERU's own: a second copy ends at once.
        second = self.start_meru("second.mer")
        self.assertEqual(second.wait_exit(10), 0)
        self.assertFalse(os.path.exists(self.path("second.mer")))
        xs.key("Escape", win=win)
        self.assertEqual(m.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(self.path("mine.mer")), xs.first_start_file())

    def test_a_folder_taken_by_another_user_is_refused_with_a_message(self):
        private = os.path.join(self.shared, f"{LOCK_NAME}-{os.getuid()}")
        elsewhere = os.path.join(self.shared, "elsewhere")

        def nobodys_folder():
            self.nobody("mkdir", "-m", "0777", private)

        def link_to_nobodys_folder():
            self.nobody("mkdir", "-m", "0700", elsewhere)
            self.nobody("ln", "-s", elsewhere, private)

        def own_folder_open_to_others():
            os.mkdir(private, 0o755)
            os.chmod(private, 0o755)

        for plant in (nobodys_folder, link_to_nobodys_folder, own_folder_open_to_others):
            with self.subTest(plant.__name__):
                plant()
                m = self.start_meru("data.mer")
                box = self.d.wait_window("^meru$", viewable=True, managed=True, timeout=15)
                self.assertTrue(m.alive())
                xs.key("Return", win=box)
                self.assertEqual(m.wait_exit(10), 1)
                self.assertFalse(os.path.exists(self.path("data.mer")))
                self.assertEqual(self.d.find_windows("^MERU version", viewable=True), [])
                subprocess.run(["rm", "-rf", private, elsewhere], check=True)


if __name__ == "__main__":
    xs.test_main()
