"""One copy per user and display: a second start ends at once with exit code
0 and touches no file; the lock goes with the first copy, however it ends.

  run-xsession python3 test_single_instance.py --meru BIN --meru-file BIN --artifacts DIR
"""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


class SingleInstance(xs.MeruTestCase):

    def test_second_copy_ends_at_once_and_touches_nothing(self):
        first_data = self.path("first.mer")
        first, win = self.start_shown(first_data)
        empty = self.path("empty")
        os.mkdir(empty)
        # (arguments, working folder): a file of its own, and the default file
        for args, cwd in ((["second.mer"], self.dir), ([], empty)):
            with self.subTest(args=args):
                t0 = time.monotonic()
                second = self.start(args=args, cwd=cwd)
                self.assertEqual(second.wait_exit(5), 0)
                print(f"\n  second copy ended after {1000 * (time.monotonic() - t0):.0f} ms",
                      file=sys.stderr)
        self.assertFalse(os.path.exists(self.path("second.mer")))
        self.assertEqual(os.listdir(empty), [])
        self.assertFalse(os.path.exists(first_data), "the first copy saves only at Exit")
        self.assertTrue(first.alive())
        self.assertEqual(self.d.map_state(win), xs.IS_VIEWABLE)
        self.assertEqual(len(self.d.find_windows("^MERU version", viewable=True)), 1)
        xs.key("Escape", win=win)
        self.assertEqual(first.wait_exit(10), 0)
        self.assertEqual(xs.read_bytes(first_data), xs.first_start_file())

    def test_lock_goes_with_the_first_copy(self):
        # however the first copy ends, the next start runs
        for how in ("Esc", "SIGKILL"):
            with self.subTest(how):
                first, win = self.start_shown(self.path(f"{how}-1.mer"))
                if how == "Esc":
                    xs.key("Escape", win=win)
                else:
                    first.proc.send_signal(signal.SIGKILL)
                first.wait_exit(10)
                nxt, nwin = self.start_shown(self.path(f"{how}-2.mer"))
                xs.key("Escape", win=nwin)
                self.assertEqual(nxt.wait_exit(10), 0)


if __name__ == "__main__":
    xs.test_main()
