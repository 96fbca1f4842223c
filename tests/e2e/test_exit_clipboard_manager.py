"""Exit while a clipboard manager runs. MERU owns the clipboard (a history
entry chosen with --select) and, ending, asks the manager to save it: a
manager that answers gets the text; one that never answers does not keep
MERU from ending, and the data are saved as at any Exit.

  run-xsession python3 test_exit_clipboard_manager.py --meru BIN --artifacts DIR
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402

MANAGER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "clipboard_manager.py")


def copy_text(data):
    """Puts data on the clipboard for one reader (MERU's history) and
    returns once that reader has it and xclip is gone."""
    p = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-loops", "1", "-quiet"],
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    p.communicate(data, timeout=15)


def read_clip():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return r.stdout if r.returncode == 0 else None


def command(*args):
    return subprocess.run([xs.Config.meru, *args], capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)


class ClipboardManagerAtExit(xs.MeruTestCase):

    def start_manager(self, *args):
        p = subprocess.Popen([sys.executable, MANAGER, *args], stdout=subprocess.PIPE)
        self.addCleanup(p.stdout.close)
        self.addCleanup(xs.stop, p)
        self.assertEqual(p.stdout.readline().strip(), b"ready")

    def start_owning(self, text):
        """MERU on a fresh data file, owning the clipboard with `text`."""
        data = self.path("exit.mer")
        m, _ = self.start_shown(data)
        xs.wait_for(lambda: command("--show", "main").returncode == 0, timeout=15,
                    interval=0.1, what="the command channel")
        copy_text(text)

        # (xclip has gone: what the clipboard holds now comes from MERU.)
        def owned():
            self.assertEqual(command("--select", "1").returncode, 0)
            return read_clip() == text
        xs.wait_for(owned, timeout=10, interval=0.1, what="MERU owning the clipboard")
        return m, data

    def exit_and_wait(self, m, data):
        r = command("--exit")
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertEqual(m.wait_exit(timeout=30), 0)
        self.assertGreater(os.path.getsize(data), 0, "saved at Exit")

    def test_an_answering_manager_gets_the_clipboard(self):
        saved = self.path("saved-by-manager.txt")
        self.start_manager("answer", saved)
        text = "dal blocco note: caffè ✓".encode()
        m, data = self.start_owning(text)
        self.exit_and_wait(m, data)
        xs.wait_for(lambda: os.path.exists(saved), timeout=10, what="the manager's copy")
        with open(saved, "rb") as f:
            self.assertEqual(f.read(), text)

    def test_exit_ends_while_the_manager_never_answers(self):
        self.start_manager("never")
        m, data = self.start_owning(b"nessuno risponde")
        self.exit_and_wait(m, data)


if __name__ == "__main__":
    xs.test_main()
