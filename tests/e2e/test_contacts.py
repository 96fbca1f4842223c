"""The contacts window with the real binary under X: contacts added through
the window ("New Contacts" pre-filled from the clipboard, a name typed in
the contact dialog) survive Exit and a restart, checked with meru-file dump.

  run-xsession python3 test_contacts.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


def contacts_title_rx(path):
    return "^" + re.escape(f"{xs.MERU_TITLE} - CONTACTS [{path}]") + "$"


def copy_text(text):
    """Another program (xclip) copies `text`."""
    # xclip's child keeps its output open: never capture it
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10, check=True)


def read_clip():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return r.stdout if r.returncode == 0 else None


class ContactsSurviveExit(xs.MeruTestCase):

    def dump(self, data):
        out = subprocess.run([xs.Config.meru_file, "dump", data], check=True,
                             capture_output=True, timeout=30)
        return json.loads(out.stdout)

    def open_contacts(self, main_win, data):
        """&Menu > C&ontacts from the main window's menu bar."""
        xs.key("alt+m", win=main_win)
        xs.key("o")
        win = self.d.wait_window(contacts_title_rx(data), viewable=True, timeout=15)
        xs.activate(win)
        return win

    def new_contact(self, clip_text, typed_name=None):
        """Copies clip_text, presses "New Contacts" (the window's first
        button has the focus) and confirms the contact dialog, typing a
        name first when asked."""
        copy_text(clip_text)
        xs.wait_for(lambda: read_clip() == clip_text.encode(), what="text on the clipboard")
        xs.key("space")
        dlg = self.d.wait_window("^Contacts$", viewable=True, timeout=15)
        xs.activate(dlg)
        if typed_name is not None:
            xs.key("Tab", "Tab")  # OK has the focus; Cancel, then Name
            xs.xdotool("type", "--delay", "15", typed_name)
        xs.screenshot(self.artifact("contact-dialog.png"), window=self.d.frame_of(dlg))
        xs.key("Return")
        self.d.wait_gone(dlg, timeout=10)

    def exit_from(self, win, m):
        xs.activate(win)
        xs.key("alt+m")
        xs.key("e")
        self.assertEqual(m.wait_exit(10), 0)

    def test_added_contacts_survive_exit_and_restart(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        data = self.path("contacts.mer")

        # First run: a telephone number from the clipboard.
        m, win = self.start_shown(data)
        contacts = self.open_contacts(win, data)
        self.new_contact("06 555-0101")
        xs.screenshot(self.artifact("contacts-one.png"), window=self.d.frame_of(contacts))
        self.exit_from(contacts, m)
        saved = self.dump(data)["contacts"]
        self.assertEqual(saved, [{"name": "", "email": "", "telephone": "06555-0101",
                                  "cellular": "", "birthday": "", "note": ""}])

        # Second run: the contact is loaded; an address from the clipboard
        # with a typed name. Both are saved, sorted by name.
        m, win = self.start_shown(data)
        contacts = self.open_contacts(win, data)
        self.new_contact("anna@example.org", typed_name="Anna")
        self.exit_from(contacts, m)
        saved = self.dump(data)["contacts"]
        self.assertEqual([(c["name"], c["email"], c["telephone"]) for c in saved],
                         [("", "", "06555-0101"), ("Anna", "anna@example.org", "")])


if __name__ == "__main__":
    xs.test_main()
