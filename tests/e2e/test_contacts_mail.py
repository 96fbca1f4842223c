"""MAIL from the contacts window with the real binary under X: the message
written to the selected contact reaches an SMTP server started here on
127.0.0.1 (Debian's aiosmtpd), addressed to that contact, from the sender of
the mail settings, with a line that starts with "." intact.

  run-xsession python3 test_contacts_mail.py --meru BIN --meru-file BIN --artifacts DIR
"""
import json
import os
import re
import socket
import subprocess
import sys

try:
    from aiosmtpd.controller import Controller
except ImportError:
    # Debian's python3-aiosmtpd is seen only by Debian's own interpreter;
    # another python3 first on PATH hands over to it.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3" \
            and not os.environ.get("MERU_SMTP_TEST_REEXEC"):
        os.environ["MERU_SMTP_TEST_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    raise

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession as xs  # noqa: E402


class Sink:
    """Keeps what arrives."""

    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.content))
        return "250 2.0.0 queued"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def contact(name, email):
    return {"name": name, "email": email, "telephone": "", "cellular": "", "birthday": "",
            "note": ""}


class ContactsMail(xs.MeruTestCase):

    def setUp(self):
        super().setUp()
        self.sink = Sink()
        self.port = free_port()
        self.server = Controller(self.sink, hostname="127.0.0.1", port=self.port)
        self.server.start()
        self.addCleanup(self.server.stop)

    def test_mail_reaches_the_selected_contact(self):
        if not xs.Config.meru_file:
            self.skipTest("needs --meru-file")
        data = self.path("mail.mer")
        content = {
            "format_version": 22, "password": "", "pages": [""],
            "contacts": [contact("Anna", "anna@example.org"), contact("Bruno", "bruno@example.org")],
            "mail": {"server": f"127.0.0.1:{self.port}", "sender": "me@example.org"},
            "groups": [{"name": f"Group {n}", "bookmarks": []} for n in range(1, 21)],
            "browser": {"program": "", "folder": ""},
        }
        subprocess.run([xs.Config.meru_file, "build", data], input=json.dumps(content).encode(),
                       check=True, timeout=30)

        m, main_win = self.start_shown(data)
        xs.key("alt+m", win=main_win)
        xs.key("o")
        win = self.d.wait_window("^" + re.escape(f"{xs.MERU_TITLE} - CONTACTS [{data}]") + "$",
                                 viewable=True, timeout=15)
        xs.activate(win)

        # The first row (Anna; rows are sorted by name) chosen with the mouse.
        shot = xs.screenshot(self.artifact("contacts-mail-window.png"), window=win)
        left, top, right, bottom = xs.white_band(shot)
        self.assertGreater(bottom - top, 50, "the contact list was not found on screen")
        x0, y0 = xs.window_origin(win)
        xs.click(x0 + left + 40, y0 + top + 8)

        # From the list, two steps back in the tab order: MAILSTD, then MAIL.
        # The clipboard is empty, so there is no question about it.
        xs.key("shift+Tab", "shift+Tab", "space")
        compose = self.d.wait_window("^MailTo$", viewable=True, timeout=15)
        xs.activate(compose)
        # The body has the focus; Shift+Tab leaves it, and Return then presses
        # the default button, "Send Mail".
        for k, line in enumerate(("Ciao Anna", ".a line with a dot", "end")):
            if k:
                xs.key("Return")
            xs.xdotool("type", "--delay", "15", line)
        xs.screenshot(self.artifact("contacts-mail-compose.png"), window=self.d.frame_of(compose))
        xs.key("shift+Tab", "Return")
        xs.wait_for(lambda: self.sink.messages, timeout=30, what="the message at the server")
        self.d.wait_gone(compose, timeout=15)

        mail_from, rcpt, body = self.sink.messages[0]
        self.assertEqual(mail_from, "me@example.org")
        self.assertEqual(rcpt, ["anna@example.org"])
        text = body.decode("utf-8", "replace")
        self.assertIn("\r\n.a line with a dot\r\n", text)
        self.assertRegex(text, r"(?m)^To: .*anna@example\.org")
        self.assertTrue(m.alive())


if __name__ == "__main__":
    xs.test_main()
