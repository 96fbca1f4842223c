"""The clipboard history against the real X clipboard.

Other programs copy (xclip, and a small Tk owner for copies that offer
several targets), Ctrl+1..5 are pressed while another program has the
focus, and what MERU put back is read with `xclip -o`. The history itself is
never saved, so it is observed through the shortcuts: Ctrl+n puts entry n
(or the newest, when there are fewer) on the clipboard.

Run through run-xsession:
  run-xsession python3 test_clipboard.py --meru BIN --meru-file BIN --artifacts DIR
"""
import argparse
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xsession as xs  # noqa: E402

ARGS = None

# Tk helper, run as `python3 test_clipboard.py --offer TARGET=TEXT ...`: owns
# the clipboard with every target given, serves it until killed (or until
# its life time ends, so a failed test leaves nothing behind).
OFFER_LIFETIME_MS = 120000


def offer_main(pairs):
    import tkinter
    root = tkinter.Tk()
    root.withdraw()
    root.clipboard_clear()
    for pair in pairs:
        target, _, text = pair.partition("=")
        root.clipboard_append(text, type=target)
    root.update()
    print("owned", flush=True)
    root.after(OFFER_LIFETIME_MS, root.destroy)
    root.mainloop()


# ---------------------------------------------------------------- clipboard

copy_text = xs.copy_text
read_clip = xs.read_clip


def targets():
    out = read_clip("TARGETS")
    return set(out.decode().split()) if out else set()


class Offer:
    """A Tk program owning the clipboard with several targets: pairs of
    (target, text)."""

    def __init__(self, pairs):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--offer",
                                      *[f"{t}={v}" for t, v in pairs]],
                                     stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        if self.proc.stdout.readline().strip() != b"owned":
            xs.stop(self.proc)
            raise RuntimeError("the Tk clipboard owner did not start")

    def end(self):
        xs.stop(self.proc)
        self.proc.stdout.close()


# ---------------------------------------------------------------- the test

class ClipboardE2E(unittest.TestCase):
    def setUp(self):
        self.dir = xs.temp_dir()
        self.d = xs.Display()
        self.others = []
        # another program to hold the keyboard focus while the shortcuts are pressed
        self.other = subprocess.Popen(["xlogo", "-geometry", "200x200+20+20"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.other_win = self.d.wait_window(wm_class="xlogo", timeout=10)
        self.meru = None

    def tearDown(self):
        if self.meru is not None:
            xs.stop(self.meru.proc)
        for o in self.others:
            o.end()
        xs.stop(self.other)
        self.d.close()
        xs.remove_tree(self.dir)

    def start_meru(self):
        data = os.path.join(self.dir, "meru.mer")
        self.meru = xs.Meru(ARGS.meru, data, cwd=self.dir)
        self.main_win = self.meru.wait_main_window(self.d)
        return self.meru

    def offer(self, pairs):
        o = Offer(pairs)
        self.others.append(o)
        return o

    def focus_other(self):
        xs.activate(self.other_win)

    def press(self, n):
        xs.xdotool("key", f"ctrl+{n}")

    def expect_entry(self, n, expected, timeout=5.0):
        """Ctrl+n (another program focused) puts `expected` on the clipboard.
        Pressed again until it does: a copy just made may not be captured yet."""
        self.focus_other()
        seen = []

        def check():
            self.press(n)
            got = read_clip()
            seen.append(got)
            return got == expected
        try:
            xs.wait_for(check, timeout=timeout, interval=0.1, what=f"entry {n} == {expected!r}")
        except TimeoutError:
            self.fail(f"Ctrl+{n} gave {seen[-1]!r}, expected {expected!r}")

    def tray_picture(self):
        """The pixels of MERU's tray icon (raw RGB)."""
        icon = xs.wait_tray_icon(self.d, "meru", timeout=10)
        r = subprocess.run(["/usr/bin/import", "-window", str(icon), "rgb:-"],
                           capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def wait_tray_change(self, before, timeout=5.0):
        return xs.wait_for(lambda: (p := self.tray_picture()) != before and p,
                           timeout=timeout, interval=0.05, what="tray icon change")

    def copy_captured(self, data):
        """Another program copies `data`, which becomes the current entry (1 to
        5): waits until the tray shows the new digit. A copy replaced before
        MERU has read it is never captured, and a Ctrl+n pressed too early
        would put an older entry over it, so nothing goes on until then."""
        before = self.tray_picture()
        copy_text(data)
        self.wait_tray_change(before)

    def offer_captured(self, pairs):
        before = self.tray_picture()
        o = self.offer(pairs)
        self.wait_tray_change(before)
        return o

    # ------------------------------------------------------------ cases

    def test_capture_duplicates_and_shortcuts(self):
        copy_text(b"seed text")
        self.start_meru()
        # seeded: entry 1 is what the clipboard held at start
        self.copy_captured(b"alpha")
        self.copy_captured(b"beta")
        self.expect_entry(3, b"beta")       # fewer than 3 entries: the newest
        self.expect_entry(1, b"seed text")
        self.expect_entry(2, b"alpha")
        # a copy equal to an entry is not kept again
        copy_text(b"alpha")
        self.copy_captured(b"gamma")
        self.expect_entry(4, b"gamma")      # [seed, alpha, beta, gamma]
        self.expect_entry(5, b"gamma")
        self.expect_entry(3, b"beta")

    def test_tray_icon_follows_the_shortcut(self):
        copy_text(b"one")
        self.start_meru()
        self.copy_captured(b"two")
        self.copy_captured(b"three")
        self.expect_entry(1, b"one")
        pic1 = self.tray_picture()
        self.expect_entry(3, b"three")
        pic3 = self.wait_tray_change(pic1)
        self.expect_entry(1, b"one")
        self.wait_tray_change(pic3)
        self.assertEqual(xs.wait_for(lambda: self.tray_picture() == pic1, timeout=5,
                                     what="digit 1 icon back"), True)

    def test_image_and_secret_copies_change_nothing(self):
        copy_text(b"first")
        self.start_meru()
        png = os.path.join(self.dir, "pic.png")
        subprocess.run(["/usr/bin/convert", "-size", "8x8", "xc:red", png], check=True,
                       timeout=30)
        with open(png, "rb") as f:
            copy_text(f.read(), target="image/png")
        # the picture stays on the clipboard: MERU does not overwrite it
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertIn("image/png", targets())
            time.sleep(0.05)
        # a password manager's copy
        self.offer([("STRING", "hunter2"), ("x-kde-passwordManagerHint", "secret")])
        self.assertEqual(read_clip(), b"hunter2")
        self.copy_captured(b"second")
        self.expect_entry(2, b"second")
        self.expect_entry(3, b"second")     # neither the picture nor the secret is an entry
        self.expect_entry(1, b"first")

    def test_utf8_text_round_trips(self):
        text = "Grüße 🎉 漢字 ✓ \u20ac\r\nzweite Zeile\n".encode("utf-8")
        copy_text(b"plain")
        self.start_meru()
        self.copy_captured(text)
        self.copy_captured(b"after")
        self.expect_entry(2, text)
        self.expect_entry(3, b"after")
        self.expect_entry(2, text)

    def test_file_manager_copy_keeps_its_targets(self):
        copy_text(b"before")
        self.start_meru()
        self.expect_entry(1, b"before")
        pic = self.tray_picture()
        self.offer([("STRING", "/tmp/report.txt"),
                    ("text/uri-list", "file:///tmp/report.txt\r\n")])
        # captured: entry 2 is current, the tray shows 2
        self.wait_tray_change(pic)
        self.assertIn("text/uri-list", targets())
        self.assertEqual(read_clip("text/uri-list"), b"file:///tmp/report.txt\r\n")
        self.expect_entry(2, b"/tmp/report.txt")

    def test_current_entry_comes_back_when_its_owner_ends(self):
        copy_text(b"kept")
        self.start_meru()
        o = self.offer_captured([("STRING", "from a program that quits")])
        self.expect_entry(2, b"from a program that quits")
        self.expect_entry(1, b"kept")
        o2 = self.offer_captured([("STRING", "short-lived")])
        self.expect_entry(3, b"short-lived")
        # Ctrl+3 left the clipboard with its owner (the text is the same);
        # when that program ends, MERU puts the current entry back
        o2.end()
        self.others.remove(o2)
        o.end()
        self.others.remove(o)
        xs.wait_for(lambda: read_clip() == b"short-lived", timeout=5,
                    what="current entry back on the clipboard")

    def test_repeated_copy_comes_back_when_its_owner_ends(self):
        self.start_meru()

        def copy_once(data):
            # xclip serves one paste (MERU's read) and ends: the owner is gone
            p = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-loops", "1",
                                  "-i"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            p.stdin.write(data)
            p.stdin.close()
            xs.wait_exit(p, 10)
            xs.wait_for(lambda: read_clip() == data, timeout=5,
                        what=f"{data!r} back on the clipboard")

        copy_once(b"a")
        copy_once(b"b")
        copy_once(b"a")  # copied last, though already in the history


def main():
    global ARGS
    if len(sys.argv) > 1 and sys.argv[1] == "--offer":
        offer_main(sys.argv[2:])
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
