"""The SMTP client against real servers started here on 127.0.0.1: aiosmtpd
(plain, STARTTLS, smtps, AUTH) and small socket servers that misbehave.

Run as: python3 test_smtp_server.py /path/to/smtp_send
"""
import email
import email.policy
import os
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

try:
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword
except ImportError:
    # The server comes from Debian's python3-aiosmtpd, which only Debian's own
    # interpreter sees; another python3 first on PATH hands over to it.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3" \
            and not os.environ.get("MERU_SMTP_TEST_REEXEC"):
        os.environ["MERU_SMTP_TEST_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    raise

SMTP_SEND = None
HOST = "127.0.0.1"
USER, PASSWORD = "anna@example.org", "s3cret pass"


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def send(server, to="to@example.org", *, sender="me@example.org", cc="", bcc="", subject="Hello",
         body="Hello\r\n", password="", cafile="", reply_ms=5000, connect_ms=5000):
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(body.encode("utf-8") if isinstance(body, str) else body)
        body_file = f.name
    args = [SMTP_SEND, "--server", server, "--sender", sender, "--to", to, "--cc", cc, "--bcc", bcc,
            "--subject", subject, "--body-file", body_file, "--reply-timeout-ms", str(reply_ms),
            "--connect-timeout-ms", str(connect_ms)]
    if password:
        args += ["--password", password]
    if cafile:
        args += ["--cafile", cafile]
    try:
        start = time.monotonic()
        p = subprocess.run(args, capture_output=True, timeout=60)
        took = time.monotonic() - start
    finally:
        os.unlink(body_file)
    err = p.stderr.decode("utf-8", "replace")
    detail = err.split("detail: ", 1)[1] if "detail: " in err else ""
    return p.returncode, detail, p.stdout.decode("utf-8", "replace"), took


class Sink:
    """aiosmtpd handler keeping what arrived; refuses the recipients it is told to."""

    def __init__(self, refuse=()):
        self.messages = []
        self.refuse = set(refuse)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 <%s>: no such user here" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content,
                              session.host_name))
        return "250 2.0.0 queued"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER.encode() \
        and auth_data.password == PASSWORD.encode()
    # handled=False: the server answers the refusal itself (535)
    return AuthResult(success=True) if ok else AuthResult(success=False, handled=False)


class Certs:
    """A test certificate authority and two server certificates made with openssl:
    one for 127.0.0.1, one for another host name."""

    def __init__(self, folder):
        self.folder = folder
        self.ca = os.path.join(folder, "ca.pem")
        ca_key = os.path.join(folder, "ca.key")
        self._openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", self.ca,
                      "-days", "2", "-subj", "/CN=MERU test CA")
        self.good = self._leaf("good", "IP:127.0.0.1", ca_key)
        self.wrong = self._leaf("wrong", "DNS:other.example", ca_key)

    def _openssl(self, *args):
        subprocess.run(["openssl", *args], check=True, capture_output=True, timeout=60)

    def _leaf(self, name, san, ca_key):
        key = os.path.join(self.folder, name + ".key")
        csr = os.path.join(self.folder, name + ".csr")
        crt = os.path.join(self.folder, name + ".pem")
        ext = os.path.join(self.folder, name + ".ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\n" % san)
        self._openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=" + name)
        self._openssl("x509", "-req", "-in", csr, "-CA", self.ca, "-CAkey", ca_key, "-CAcreateserial",
                      "-out", crt, "-days", "2", "-extfile", ext)
        return crt, key

    def context(self, which):
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(*which)
        return ctx


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.certs = Certs(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def start(self, handler, **kwargs):
        port = free_port()
        c = Controller(handler, hostname=HOST, port=port, **kwargs)
        c.start()
        self.addCleanup(c.stop)
        return port


class PlainServer(ServerTest):
    def test_unicode_and_leading_dots_arrive_intact(self):
        sink = Sink()
        port = self.start(sink)
        body = "Caffè ☃ = ok\n.\n.leading dot\n..two\nMAIL FROM:<evil@example.org>\nlast"
        code, detail, _, _ = send("%s:%d" % (HOST, port), cc="cc@example.org", bcc="bcc@example.org",
                                  subject="Perché ☃", body=body)
        self.assertEqual(code, 0, detail)
        self.assertEqual(len(sink.messages), 1)
        mail_from, rcpts, raw, helo = sink.messages[0]
        self.assertEqual(mail_from, "me@example.org")
        self.assertEqual(rcpts, ["to@example.org", "cc@example.org", "bcc@example.org"])
        self.assertNotEqual(helo, HOST)  # this machine's name, not the server's
        self.assertTrue(raw.startswith(b"DATE: "), raw[:80])
        self.assertNotIn(b"bcc@example.org", raw)
        for line in raw.split(b"\r\n"):
            self.assertLess(len(line), 998)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), "Perché ☃")
        self.assertIn(b"\r\nTo: <to@example.org>\r\nCc: <cc@example.org>\r\n", raw)
        self.assertEqual(msg.get_content_charset(), "utf-8")
        self.assertIsNotNone(msg["Message-ID"])
        self.assertRegex(msg["DATE"], r"^[A-Z][a-z]{2}, \d{2} [A-Z][a-z]{2} \d{4} \d{2}:\d{2}:\d{2} \+0000$")
        self.assertEqual(msg.get_content(), body.replace("\n", "\r\n") + "\r\n")

    def test_refused_recipient_is_an_error_with_the_reply(self):
        sink = Sink(refuse={"nobody@example.org"})
        port = self.start(sink)
        code, detail, _, _ = send("%s:%d" % (HOST, port), to="nobody@example.org")
        self.assertEqual(code, 2)
        self.assertIn("550 5.1.1 <nobody@example.org>: no such user here", detail)
        self.assertEqual(sink.messages, [])

    def test_nothing_listening_is_server_not_found(self):
        code, detail, out, _ = send("%s:%d" % (HOST, free_port()))
        self.assertEqual(code, 1, detail)
        self.assertIn("refused", detail.lower())
        self.assertIn("Invalid socket\r\n", out)


class MisbehavingServer(unittest.TestCase):
    """A socket server that greets (or not) and then does what it is told."""

    def serve(self, greeting, then_close, reset=False):
        listener = socket.socket()
        listener.bind((HOST, 0))
        listener.listen(1)
        listener.settimeout(20)
        stop = threading.Event()

        def run():
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            with conn:
                if greeting:
                    conn.sendall(greeting)
                if reset:  # hear the client out, then close with a reset
                    conn.recv(1000)
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                if not then_close:
                    stop.wait(20)
            listener.close()

        t = threading.Thread(target=run, daemon=True)
        t.start()
        self.addCleanup(lambda: (stop.set(), t.join(5)))
        return listener.getsockname()[1]

    def test_silent_server_times_out(self):
        port = self.serve(b"", then_close=False)
        code, detail, _, took = send("%s:%d" % (HOST, port), reply_ms=700)
        self.assertEqual(code, 2, detail)
        self.assertIn("did not answer", detail)
        self.assertLess(took, 15)

    def test_server_closing_after_greeting(self):
        for reset in (False, True):
            with self.subTest(reset=reset):
                port = self.serve(b"220 hello\r\n", then_close=True, reset=reset)
                code, detail, _, _ = send("%s:%d" % (HOST, port))
                self.assertEqual(code, 2, detail)
                self.assertIn("closed the connection", detail)

    def test_openssl_is_mapped_only_for_tls(self):
        # The client loads OpenSSL on its first TLS connection: a plain
        # dialogue runs without libssl in the process.
        for form, tls in (("%s:%d", False), ("smtps://%s:%d", True)):
            with self.subTest(form=form):
                listener = socket.socket()
                self.addCleanup(listener.close)
                listener.bind((HOST, 0))
                listener.listen(1)
                listener.settimeout(20)
                p = subprocess.Popen([SMTP_SEND, "--server", form % (HOST, listener.getsockname()[1]),
                                      "--sender", "me@example.org", "--to", "to@example.org",
                                      "--connect-timeout-ms", "20000", "--reply-timeout-ms", "20000"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                self.addCleanup(p.wait)
                self.addCleanup(p.kill)
                conn, _ = listener.accept()
                self.addCleanup(conn.close)
                conn.settimeout(20)
                if not tls:  # well into the dialogue: the client waits for the reply to HELO
                    conn.sendall(b"220 hello\r\n")
                    self.assertTrue(conn.recv(100).startswith(b"HELO "))
                else:  # the TLS ClientHello
                    self.assertEqual(conn.recv(1), b"\x16")
                with open("/proc/%d/maps" % p.pid) as f:
                    maps = f.read()
                self.assertEqual("/libssl.so" in maps, tls)
                self.assertEqual("/libcrypto.so" in maps, tls)

    def test_silent_tls_server_times_out(self):
        port = self.serve(b"", then_close=False)
        code, detail, _, took = send("smtps://%s:%d" % (HOST, port), connect_ms=700, reply_ms=700)
        self.assertEqual(code, 2, detail)
        self.assertIn("time-out", detail)
        self.assertLess(took, 15)


class TlsServer(ServerTest):
    def starttls(self, cert, **kwargs):
        sink = Sink()
        port = self.start(sink, tls_context=self.certs.context(cert), require_starttls=True,
                          authenticator=authenticator, auth_required=True, **kwargs)
        return sink, port

    def smtps(self, cert):
        sink = Sink()
        # aiosmtpd does not count TLS from the first byte as TLS for AUTH
        port = self.start(sink, ssl_context=self.certs.context(cert), authenticator=authenticator,
                          auth_required=True, auth_require_tls=False)
        return sink, port

    def test_login_accepted_and_refused(self):
        user = USER.replace("@", "%40")
        for name, kind, exclude in (("STARTTLS, PLAIN", "starttls", ()),
                                    ("STARTTLS, LOGIN only", "starttls", ("PLAIN",)),
                                    ("smtps", "smtps", ())):
            for password, expected in ((PASSWORD, 0), ("wrong", 2)):
                with self.subTest(name, password=password):
                    if kind == "starttls":
                        sink, port = self.starttls(self.certs.good, auth_exclude_mechanism=exclude)
                        server = "smtp://%s@%s:%d" % (user, HOST, port)
                    else:
                        sink, port = self.smtps(self.certs.good)
                        server = "smtps://%s@%s:%d" % (user, HOST, port)
                    code, detail, out, _ = send(server, password=password, cafile=self.certs.ca,
                                                body="über\n")
                    self.assertEqual(code, expected, detail)
                    self.assertNotIn(password, out)
                    if expected == 0:
                        self.assertEqual(len(sink.messages), 1)
                        self.assertIn(b"=C3=BCber", sink.messages[0][2])
                    else:
                        self.assertIn("535", detail)
                        self.assertEqual(sink.messages, [])

    def test_wrong_or_untrusted_certificate_sends_nothing(self):
        for name, kind, cert, cafile, reason in (
                ("STARTTLS, certificate for another host", "starttls", "wrong", True, "mismatch"),
                ("smtps, certificate for another host", "smtps", "wrong", True, "mismatch"),
                ("smtps, issuer not trusted", "smtps", "good", False, "certificate")):
            with self.subTest(name):
                which = self.certs.wrong if cert == "wrong" else self.certs.good
                if kind == "starttls":
                    sink, port = self.starttls(which)
                    server = "smtp://me@%s:%d" % (HOST, port)
                else:
                    sink, port = self.smtps(which)
                    server = "smtps://me@%s:%d" % (HOST, port)
                code, detail, _, _ = send(server, password=PASSWORD,
                                          cafile=self.certs.ca if cafile else "")
                self.assertEqual(code, 2, detail)
                self.assertIn(reason, detail.lower())
                self.assertEqual(sink.messages, [])

    def test_big_7bit_body_over_every_connection(self):
        # Two megabytes with leading dots: short lines with every kind of
        # line break, then CR LF lines whose long unchanged runs go out as
        # slices of the body itself (over TLS joined in batches).
        breaks = ("\n", "\r\n", "\r")
        body = "".join(("." if i % 3 == 0 else "") + "line %d of a long plain body%s" % (i, breaks[i % 4 % 3])
                       for i in range(30000))
        body += "".join(("." if i % 40 == 0 else "") + "line %d, with CR LF as the notes keep them\r\n" % i
                        for i in range(25000))
        expected = body.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n") + "\r\n"
        user = USER.replace("@", "%40")
        for kind in ("plain", "starttls", "smtps"):
            with self.subTest(kind):
                if kind == "plain":
                    sink = Sink()
                    server = "%s:%d" % (HOST, self.start(sink))
                elif kind == "starttls":
                    sink, port = self.starttls(self.certs.good)
                    server = "smtp://%s@%s:%d" % (user, HOST, port)
                else:
                    sink, port = self.smtps(self.certs.good)
                    server = "smtps://%s@%s:%d" % (user, HOST, port)
                code, detail, _, _ = send(server, password=PASSWORD, cafile=self.certs.ca, body=body)
                self.assertEqual(code, 0, detail)
                self.assertEqual(len(sink.messages), 1)
                raw = sink.messages[0][2]
                self.assertIn(b"\r\nContent-Transfer-Encoding: 7bit\r\n", raw)
                self.assertTrue(raw.split(b"\r\n\r\n", 1)[1] == expected.encode(), "body differs")

    def test_starttls_required(self):
        # A server without STARTTLS: the smtp:// form says nothing more.
        sink = Sink()
        port = self.start(sink)
        code, detail, _, _ = send("smtp://%s:%d" % (HOST, port))
        self.assertEqual(code, 2, detail)
        self.assertIn("STARTTLS", detail)
        self.assertEqual(sink.messages, [])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: test_smtp_server.py /path/to/smtp_send [unittest args]")
    SMTP_SEND = os.path.abspath(sys.argv.pop(1))
    unittest.main()
