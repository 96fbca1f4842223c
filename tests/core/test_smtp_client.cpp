// The SMTP client against a scripted server: the exact dialogue and header,
// reply codes, multi-line and split replies, refusals, time-outs, STARTTLS,
// AUTH, and the compose flow on top of it.
#include <gtest/gtest.h>

#include <regex>

#include "core/mail/mail_sender.h"
#include "core/mail/smtp_client.h"
#include "fake_smtp_transport.h"

using namespace meru;
using meru::test::CScriptedTransport;
using meru::test::ScriptedState;

namespace {

constexpr std::time_t kNow = 1796880371;  // Thu, 10 Dec 2026 05:26:11 UTC

struct Harness {
    std::shared_ptr<ScriptedState> s = std::make_shared<ScriptedState>();
    std::string diag;
    std::unique_ptr<CSmtpClient> client;

    explicit Harness(std::vector<std::string> replies = {}) {
        for (auto& r : replies) s->replies.push_back(std::move(r));
        client = std::make_unique<CSmtpClient>(std::make_unique<CScriptedTransport>(s));
        client->SetLocalName("client.example");
        client->SetDiagnostics([this](std::string_view t) { diag += t; });
        client->SetClock([] { return kNow; });
    }
    // What the client wrote, with the random Message-ID replaced by "<id>".
    std::string Written() const {
        return std::regex_replace(s->written, std::regex("Message-ID: <[^>\r\n]*>"),
                                  "Message-ID: <id>");
    }
};

const std::vector<std::string> kHappyPlain = {
    "220 mail.example ESMTP\r\n", "250 mail.example\r\n", "250 2.1.0 ok\r\n", "250 2.1.5 ok\r\n",
    "354 go ahead\r\n",           "250 2.0.0 queued\r\n", "221 2.0.0 bye\r\n"};

const char kHeaderTail[] =
    "MIME-Version: 1.0\r\nContent-type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: 7bit\r\nMessage-ID: <id>\r\n\r\n";

}  // namespace

TEST(SmtpClient, OneRecipientGivesTheExactDialogueAndHeader) {
    Harness h(kHappyPlain);
    const MailSettings settings{"mail.example", "me@example.org"};
    const ComposedMail mail{"to@example.org", "", "", "Hi", "line1\r\nline2"};
    const MailSendResult r = SendComposedMail(*h.client, settings, mail);
    EXPECT_EQ(r.m_outcome, MailSendOutcome::Sent) << r.m_strDetail;
    EXPECT_EQ(h.s->host, "mail.example");
    EXPECT_EQ(h.s->port, 25);
    EXPECT_EQ(h.Written(), std::string("HELO client.example\r\n"
                                       "MAIL FROM: <me@example.org>\r\n"
                                       "RCPT TO: <to@example.org>\r\n"
                                       "DATA\r\n"
                                       "DATE: Thu, 10 Dec 2026 05:26:11 +0000\r\n"
                                       "FROM: me@example.org\r\n"
                                       "To: <to@example.org>\r\n"
                                       "Cc: \r\n"
                                       "Subject: Hi\r\n") +
                               kHeaderTail + "line1\r\nline2\r\n.\r\nQUIT\r\n");
    // The greeting is read before anything is said.
    EXPECT_EQ(h.s->transcript.rfind("S: 220 mail.example ESMTP\r\nC: HELO", 0), 0u)
        << h.s->transcript;
    EXPECT_EQ(h.diag, "");
    EXPECT_TRUE(h.s->replies.empty());
    EXPECT_FALSE(h.client->IsConnected());
}

TEST(SmtpClient, RecipientsSubjectAndSenderForms) {
    struct Case {
        const char* name;
        std::function<void(CSmtpClient&)> fill;
        std::vector<std::string> rcpts;   // RCPT TO lines, in order
        std::vector<std::string> header;  // header lines between DATE and MIME-Version
        const char* mailFrom;
    };
    const Case cases[] = {
        {"two To, joined without blank",
         [](CSmtpClient& c) {
             c.SetSender("me@x");
             c.AddTo("a@x", "");
             c.AddTo("b@x", "");
         },
         {"RCPT TO: <a@x>", "RCPT TO: <b@x>"},
         {"To: <a@x>,<b@x>", "Cc: "},
         "MAIL FROM: <me@x>"},
        {"envelope order To, Cc, Bcc; Bcc never in the header",
         [](CSmtpClient& c) {
             c.SetSender("me@x");
             c.AddBcc("hidden@x", "");
             c.AddCc("c@x", "");
             c.AddTo("t@x", "");
             EXPECT_FALSE(c.AddCc("", ""));  // an empty CC adds nothing
         },
         {"RCPT TO: <t@x>", "RCPT TO: <c@x>", "RCPT TO: <hidden@x>"},
         {"To: <t@x>", "Cc: <c@x>"},
         "MAIL FROM: <me@x>"},
        {"display name before the address",
         [](CSmtpClient& c) {
             c.SetSender("me@x");
             c.AddTo("a@x", "Anna ");
         },
         {"RCPT TO: <a@x>"},
         {"To: Anna <a@x>", "Cc: "},
         "MAIL FROM: <me@x>"},
        {"no subject, no From: neither line",
         [](CSmtpClient& c) {
             c.SetSender("me@x");
             c.AddTo("a@x", "");
         },
         {"RCPT TO: <a@x>"},
         {"To: <a@x>", "Cc: "},
         "MAIL FROM: <me@x>"},
        {"empty texts count as set",
         [](CSmtpClient& c) {
             c.SetSender("");
             c.SetFrom("");
             c.SetSubject("");
             c.AddTo("a@x", "");
         },
         {"RCPT TO: <a@x>"},
         {"FROM: ", "To: <a@x>", "Cc: ", "Subject: "},
         "MAIL FROM: <>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> replies = {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n"};
        for (size_t i = 0; i < c.rcpts.size(); ++i) replies.push_back("250 ok\r\n");
        replies.insert(replies.end(), {"354 go\r\n", "250 queued\r\n", "221 bye\r\n"});
        Harness h(replies);
        ASSERT_TRUE(h.client->Connect("mail.example", 0));
        c.fill(*h.client);
        ASSERT_TRUE(h.client->Send()) << h.client->Detail();
        ASSERT_TRUE(h.client->Quit());
        std::string expected = "HELO client.example\r\n" + std::string(c.mailFrom) + "\r\n";
        for (const auto& r : c.rcpts) expected += r + "\r\n";
        expected += "DATA\r\nDATE: Thu, 10 Dec 2026 05:26:11 +0000\r\n";
        for (const auto& l : c.header) expected += l + "\r\n";
        expected += kHeaderTail;
        expected += "\r\n.\r\nQUIT\r\n";
        EXPECT_EQ(h.Written(), expected);
        EXPECT_EQ(h.diag, "");
    }
}

TEST(SmtpClient, NothingIsSentWithoutToOrSender) {
    {
        Harness h({"220 hi\r\n", "250 hello\r\n"});
        ASSERT_TRUE(h.client->Connect("mail.example", 0));
        h.client->SetSender("me@x");
        h.client->AddCc("c@x", "");
        h.client->AddBcc("b@x", "");
        EXPECT_FALSE(h.client->Send());
        EXPECT_EQ(h.diag, "Please add a message recipient!\r\nFailed to format message header\r\n");
        EXPECT_EQ(h.s->written, "HELO client.example\r\n");
        EXPECT_EQ(h.client->Failure(), MailFailure::InvalidMessage);
    }
    {
        Harness h({"220 hi\r\n", "250 hello\r\n"});
        ASSERT_TRUE(h.client->Connect("mail.example", 0));
        h.client->AddTo("a@x", "");
        EXPECT_FALSE(h.client->Send());
        EXPECT_EQ(h.diag, "Please specifiy a sender email address\r\n");
        EXPECT_EQ(h.s->written, "HELO client.example\r\n");
    }
}

TEST(SmtpClient, EveryRefusedReplyFailsAndStopsTheDialogue) {
    struct Case {
        size_t step;  // index in kHappyPlain that is replaced
        const char* reply;
        MailSendOutcome outcome;
        const char* lastCommand;  // the last line written before QUIT (or at all)
    };
    const Case cases[] = {
        {0, "554 5.7.1 no talking to you\r\n", MailSendOutcome::SendFailed, ""},
        {1, "501 5.5.4 bad HELO\r\n", MailSendOutcome::SendFailed, "HELO client.example\r\n"},
        {2, "550 5.7.1 sender refused\r\n", MailSendOutcome::SendFailed, "MAIL FROM: <me@x>\r\n"},
        {3, "550 5.1.1 no such user\r\n", MailSendOutcome::SendFailed, "RCPT TO: <to@x>\r\n"},
        {4, "554 5.5.1 no valid recipients\r\n", MailSendOutcome::SendFailed, "DATA\r\n"},
        {5, "552 5.3.4 message too big\r\n", MailSendOutcome::SendFailed, "\r\n.\r\n"},
        // a success code where another is expected is a failure too
        {4, "250 ok\r\n", MailSendOutcome::SendFailed, "DATA\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        std::vector<std::string> replies(kHappyPlain.begin(),
                                         kHappyPlain.begin() + static_cast<long>(c.step));
        replies.push_back(c.reply);
        replies.push_back("221 bye\r\n");
        Harness h(replies);
        const MailSendResult r =
            SendComposedMail(*h.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
        EXPECT_EQ(r.m_outcome, c.outcome);
        EXPECT_EQ(r.m_failure, MailFailure::Refused);
        std::string reply = c.reply;
        reply.resize(reply.size() - 2);
        EXPECT_NE(r.m_strDetail.find(reply), std::string::npos) << r.m_strDetail;
        std::string written = h.s->written;
        const bool quit =
            c.step >= 2;  // a transaction refused on an open connection still says QUIT
        if (quit) {
            ASSERT_GE(written.size(), 6u);
            EXPECT_EQ(written.substr(written.size() - 6), "QUIT\r\n");
            written.resize(written.size() - 6);
        } else {
            EXPECT_EQ(written.find("QUIT"), std::string::npos);
        }
        const std::string last = c.lastCommand;
        EXPECT_EQ(
            written.size() >= last.size() ? written.substr(written.size() - last.size()) : written,
            last);
    }
}

TEST(SmtpClient, MultiLineAndSplitRepliesAreReadWhole) {
    // The greeting arrives in pieces, the HELO reply is pipelined behind it,
    // and a multi-line refusal is shown whole.
    Harness h({"22", "0-mail.example ESMTP\r\n220-second", " line\r\n220 last\r\n250 hello\r\n",
               "250 ok\r\n", "550-5.1.1 no such user\r\n550 5.1.1 try another\r\n", "221 bye\r\n"});
    const MailSendResult r =
        SendComposedMail(*h.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r.m_outcome, MailSendOutcome::SendFailed);
    EXPECT_NE(r.m_strDetail.find("550-5.1.1 no such user\n550 5.1.1 try another"),
              std::string::npos)
        << r.m_strDetail;
    EXPECT_EQ(h.s->written,
              "HELO client.example\r\nMAIL FROM: <me@x>\r\nRCPT TO: <to@x>\r\nQUIT\r\n");
    // HELO went out only after the whole greeting.
    EXPECT_NE(h.s->transcript.find("220 last\r\n250 hello\r\nC: HELO"), std::string::npos)
        << h.s->transcript;
}

TEST(SmtpClient, BrokenRepliesEndTheConnection) {
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        TransportStatus whenEmpty;
        const char* detail;
    };
    const Case cases[] = {
        {"silent server", {}, TransportStatus::TimedOut, "did not answer"},
        {"closes after the greeting",
         {"220 hi\r\n"},
         TransportStatus::Closed,
         "closed the connection"},
        {"closes inside a reply",
         {"220-hi\r\n"},
         TransportStatus::Closed,
         "in the middle of its reply"},
        {"not an SMTP reply",
         {"HTTP/1.1 400 Bad Request\r\n"},
         TransportStatus::Closed,
         "not an SMTP reply"},
        {"mixed codes", {"220-hi\r\n250 ok\r\n"}, TransportStatus::Closed, "mixes reply codes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.replies);
        h.s->whenEmpty = c.whenEmpty;
        const MailSendResult r =
            SendComposedMail(*h.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
        EXPECT_EQ(r.m_outcome, MailSendOutcome::SendFailed);
        EXPECT_EQ(r.m_failure, MailFailure::Broken);
        EXPECT_NE(r.m_strDetail.find(c.detail), std::string::npos) << r.m_strDetail;
        EXPECT_TRUE(h.s->closed);
        EXPECT_EQ(h.s->written.find("MAIL FROM"), std::string::npos);
    }
}

TEST(SmtpClient, UnreachableServerIsNotFound) {
    Harness h;
    h.s->connectStatus = TransportStatus::Failed;
    h.s->error = "cannot resolve nowhere.invalid: Name or service not known";
    const MailSendResult r =
        SendComposedMail(*h.client, {"nowhere.invalid", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r.m_outcome, MailSendOutcome::ServerNotFound);
    EXPECT_EQ(r.m_strDetail, h.s->error);
    EXPECT_EQ(h.diag, "Invalid socket\r\n");
    EXPECT_EQ(h.s->written, "");

    Harness bad;
    const MailSendResult r2 =
        SendComposedMail(*bad.client, {"ftp://host", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r2.m_outcome, MailSendOutcome::ServerNotFound);
    EXPECT_EQ(r2.m_failure, MailFailure::InvalidSetting);
    EXPECT_EQ(bad.s->connects, 0);
}

TEST(SmtpClient, SendFailureIsReportedWithTheSocketError) {
    Harness h({"220 hi\r\n", "250 hello\r\n", "250 ok\r\n"});
    h.s->failWriteNumber = 3;  // HELO, MAIL FROM, then RCPT TO fails
    const MailSendResult r =
        SendComposedMail(*h.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r.m_outcome, MailSendOutcome::SendFailed);
    EXPECT_EQ(r.m_failure, MailFailure::Broken);
    EXPECT_EQ(h.diag, "Socket send error: 32\r\nNot connected to server!\r\n");
}

TEST(SmtpClient, BodyLineBreaksAndLeadingDotsOnTheWire) {
    Harness h(kHappyPlain);
    const ComposedMail mail{"to@x", "", "", "S", "a\n.\nb\r.\r\nQUIT\n..c\n"};
    ASSERT_EQ(SendComposedMail(*h.client, {"mail.example", "me@x"}, mail).m_outcome,
              MailSendOutcome::Sent);
    const std::string w = h.s->written;
    const size_t body = w.find("\r\n\r\n") + 4;
    EXPECT_EQ(w.substr(body), "a\r\n..\r\nb\r\n..\r\nQUIT\r\n...c\r\n\r\n.\r\nQUIT\r\n");
}

TEST(SmtpClient, NonAsciiBodyAndSubjectAreEncoded) {
    Harness h(kHappyPlain);
    const ComposedMail mail{"to@x", "", "", "Caff\xC3\xA8", "Caff\xC3\xA8 = ok\n.dot\n"};
    ASSERT_EQ(SendComposedMail(*h.client, {"mail.example", "me@x"}, mail).m_outcome,
              MailSendOutcome::Sent);
    const std::string w = h.Written();
    EXPECT_NE(w.find("\r\nSubject: =?UTF-8?B?Q2FmZsOo?=\r\n"), std::string::npos) << w;
    EXPECT_NE(w.find("Content-type: text/plain; charset=UTF-8\r\n"
                     "Content-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos);
    EXPECT_NE(w.find("\r\n\r\nCaff=C3=A8 =3D ok\r\n..dot\r\n\r\n.\r\n"), std::string::npos) << w;
    // A long ASCII line (over 998 bytes) is encoded too, so no line breaks the limit.
    Harness h2(kHappyPlain);
    const ComposedMail longLine{"to@x", "", "", "S", std::string(1200, 'x')};
    ASSERT_EQ(SendComposedMail(*h2.client, {"mail.example", "me@x"}, longLine).m_outcome,
              MailSendOutcome::Sent);
    EXPECT_NE(h2.s->written.find("quoted-printable"), std::string::npos);
    EXPECT_EQ(h2.s->written.find(std::string(77, 'x')), std::string::npos);
}

TEST(SmtpClient, LineBreaksInFieldsAreRefusedBeforeConnecting) {
    struct Case {
        MailSettings settings;
        ComposedMail mail;
        const char* field;
    };
    const Case cases[] = {
        {{"mail.example", "me@x"}, {"to@x>\r\nRCPT TO:<evil@x", "", "", "S", "B"}, "To"},
        {{"mail.example", "me@x"}, {"to@x", "c@x\n", "", "S", "B"}, "CC"},
        {{"mail.example", "me@x"}, {"to@x", "", "b@x\r", "S", "B"}, "BCC"},
        {{"mail.example", "me@x"}, {"to@x", "", "", "Hi\r\nBcc: evil@x", "B"}, "Subject"},
        {{"mail.example", "me@x\r\nDATA"}, {"to@x", "", "", "S", "B"}, "Sender Email Adress"},
        {{"mail.example\nx", "me@x"}, {"to@x", "", "", "S", "B"}, "Outgoing Mail Server"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        Harness h(kHappyPlain);
        const MailSendResult r = SendComposedMail(*h.client, c.settings, c.mail);
        EXPECT_EQ(r.m_outcome, MailSendOutcome::SendFailed);
        EXPECT_EQ(r.m_failure, MailFailure::InvalidMessage);
        EXPECT_NE(r.m_strDetail.find(std::string("The ") + c.field + " field"), std::string::npos)
            << r.m_strDetail;
        EXPECT_EQ(h.s->connects, 0);
    }
    // The client refuses on its own as well, before MAIL FROM.
    Harness h({"220 hi\r\n", "250 hello\r\n", "221 bye\r\n"});
    ASSERT_TRUE(h.client->Connect("mail.example", 0));
    h.client->SetSender("me@x");
    h.client->SetSubject("a\nb");
    h.client->AddTo("to@x", "");
    EXPECT_FALSE(h.client->Send());
    EXPECT_EQ(h.client->Failure(), MailFailure::InvalidMessage);
    EXPECT_EQ(h.s->written, "HELO client.example\r\n");
}

TEST(SmtpClient, StartTlsThenLogin) {
    struct Case {
        const char* name;
        const char* server;
        std::vector<std::string> replies;
        std::string transcriptOfClient;  // what the client wrote
        MailFailure failure;
        uint16_t port;
    };
    const std::string ehlo = "EHLO client.example\r\n";
    const Case cases[] = {
        {"STARTTLS and AUTH PLAIN",
         "smtp://anna@mail.example",
         {"220 hi\r\n", "250-mail.example\r\n250-STARTTLS\r\n250 SIZE 1000\r\n", "220 go ahead\r\n",
          "250-mail.example\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n", "235 2.7.0 ok\r\n"},
         ehlo + "STARTTLS\r\n<TLS>" + ehlo + "AUTH PLAIN AGFubmEAc2VjcmV0\r\n",
         MailFailure::None,
         587},
        {"AUTH LOGIN when PLAIN is not offered",
         "smtp://anna@mail.example:2587",
         {"220 hi\r\n", "250-mail.example\r\n250 STARTTLS\r\n", "220 go ahead\r\n",
          "250-mail.example\r\n250 AUTH=LOGIN\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n",
          "235 ok\r\n"},
         ehlo + "STARTTLS\r\n<TLS>" + ehlo + "AUTH LOGIN\r\nYW5uYQ==\r\nc2VjcmV0\r\n",
         MailFailure::None,
         2587},
        {"no login without a user",
         "smtp://mail.example",
         {"220 hi\r\n", "250-mail.example\r\n250 STARTTLS\r\n", "220 go\r\n",
          "250 mail.example\r\n"},
         ehlo + "STARTTLS\r\n<TLS>" + ehlo,
         MailFailure::None,
         587},
        {"smtps: TLS before the greeting",
         "smtps://anna@mail.example",
         {"220 hi\r\n", "250-mail.example\r\n250 AUTH PLAIN\r\n", "235 ok\r\n"},
         "<TLS>" + ehlo + "AUTH PLAIN AGFubmEAc2VjcmV0\r\n",
         MailFailure::None,
         465},
        {"STARTTLS not offered: nothing more is said",
         "smtp://anna@mail.example",
         {"220 hi\r\n", "250-mail.example\r\n250 AUTH PLAIN\r\n"},
         ehlo,
         MailFailure::Tls,
         587},
        {"login refused",
         "smtp://anna@mail.example",
         {"220 hi\r\n", "250-x\r\n250 STARTTLS\r\n", "220 go\r\n", "250-x\r\n250 AUTH PLAIN\r\n",
          "535 5.7.8 authentication failed\r\n"},
         ehlo + "STARTTLS\r\n<TLS>" + ehlo + "AUTH PLAIN AGFubmEAc2VjcmV0\r\n",
         MailFailure::AuthRefused,
         587},
        {"no known login method",
         "smtps://anna@mail.example",
         {"220 hi\r\n", "250-x\r\n250 AUTH CRAM-MD5\r\n"},
         "<TLS>" + ehlo,
         MailFailure::AuthRefused,
         465},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.replies);
        h.client->SetPassword("secret");
        const bool ok = h.client->Connect(c.server, 0);
        EXPECT_EQ(ok, c.failure == MailFailure::None) << h.client->Detail();
        EXPECT_EQ(h.client->Failure(), c.failure);
        EXPECT_EQ(h.s->port, c.port);
        EXPECT_EQ(h.s->written, c.transcriptOfClient);
        EXPECT_EQ(h.diag.find("secret"), std::string::npos);
        EXPECT_EQ(h.diag.find("c2VjcmV0"), std::string::npos);
        if (!ok) {
            EXPECT_TRUE(h.s->closed);
            EXPECT_FALSE(h.client->IsConnected());
        }
    }
}

TEST(SmtpClient, TlsFailureSendsNothing) {
    Harness h({"220 hi\r\n"});
    h.s->tlsStatus = TransportStatus::Failed;
    h.s->error = "the server's certificate is not trusted: Hostname mismatch";
    const MailSendResult r =
        SendComposedMail(*h.client, {"smtps://mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r.m_outcome, MailSendOutcome::SendFailed);
    EXPECT_EQ(r.m_failure, MailFailure::Tls);
    EXPECT_NE(r.m_strDetail.find("Hostname mismatch"), std::string::npos);
    EXPECT_EQ(h.s->written, "");
}

TEST(SmtpClient, ConnectAndQuitStates) {
    Harness h({"220 a\r\n", "250 a\r\n", "221 bye\r\n", "220 b\r\n", "250 b\r\n", "221 bye\r\n"});
    EXPECT_FALSE(h.client->Quit());  // not connected: nothing sent
    EXPECT_EQ(h.diag, "Not connected to server!\r\n");
    EXPECT_EQ(h.s->written, "");
    ASSERT_TRUE(h.client->Connect("first.example:2525", 0));
    EXPECT_EQ(h.s->port, 2525);
    ASSERT_TRUE(h.client->Connect("second.example", 26));  // a port given to Connect wins
    EXPECT_EQ(h.s->port, 26);
    EXPECT_EQ(h.s->written, "HELO client.example\r\nQUIT\r\nHELO client.example\r\n");
    EXPECT_TRUE(h.client->IsConnected());
    h.client.reset();  // destroying a connected client says QUIT
    EXPECT_EQ(h.s->written, "HELO client.example\r\nQUIT\r\nHELO client.example\r\nQUIT\r\n");
}

TEST(SmtpClient, HeloNamesThisMachineNotTheServer) {
    Harness h({"220 hi\r\n", "250 ok\r\n"});
    h.client->SetLocalName("");  // the default
    ASSERT_TRUE(h.client->Connect("mail.example", 0));
    const std::string helo = h.s->written;
    EXPECT_EQ(helo.find("mail.example"), std::string::npos) << helo;
    // the host's fully qualified name, or the address literal of our end
    EXPECT_TRUE(helo == "HELO " + LocalFqdn() + "\r\n" || helo == "HELO [127.0.0.1]\r\n") << helo;
    EXPECT_NE(helo, "HELO \r\n");
}

TEST(SmtpClient, CancelEndsTheAttemptWithoutQuit) {
    Harness h(kHappyPlain);
    ASSERT_TRUE(h.client->Connect("mail.example", 0));
    h.client->SetSender("me@x");
    h.client->AddTo("to@x", "");
    h.client->Cancel();
    EXPECT_FALSE(h.client->Send());
    EXPECT_EQ(h.client->Failure(), MailFailure::Cancelled);
    h.client.reset();
    EXPECT_EQ(h.s->written.find("QUIT"), std::string::npos);

    Harness before(kHappyPlain);
    before.client->Cancel();
    const MailSendResult r =
        SendComposedMail(*before.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", "B"});
    EXPECT_EQ(r.m_outcome, MailSendOutcome::Cancelled);
    EXPECT_EQ(before.s->written, "");
}

TEST(SmtpClient, BigBodiesGoOutInPiecesWithTheSameBytes) {
    // Over two megabytes, so it goes out in several pieces or batches: short
    // lines with every kind of line break (quoted-printable too), and CR LF
    // lines with a leading dot now and then, whose long unchanged runs
    // alternate with the bytes put in.
    enum Kind { MixedBreaks, MixedBreaksUnicode, CrLfWithDots };
    for (const Kind kind : {MixedBreaks, MixedBreaksUnicode, CrLfWithDots}) {
        const bool unicode = kind == MixedBreaksUnicode;
        SCOPED_TRACE(kind);
        std::string body;
        for (int i = 0; body.size() < 2600 * 1024; ++i) {
            if (kind == CrLfWithDots) {
                body += (i % 30 == 0) ? ".a line of forty-odd characters, number " : "a line ";
                body += std::to_string(i) + " of forty-odd characters in all\r\n";
                continue;
            }
            body += (i % 3 == 0) ? "." : "";
            body += unicode && i % 5 == 0 ? "caff\xC3\xA8 " : "line ";
            body += std::to_string(i);
            body += (i % 4 == 0) ? "\n" : (i % 4 == 1) ? "\r" : "\r\n";
        }
        Harness h(kHappyPlain);
        ASSERT_EQ(SendComposedMail(*h.client, {"mail.example", "me@x"}, {"to@x", "", "", "S", body})
                      .m_outcome,
                  MailSendOutcome::Sent);
        const std::string& w = h.s->written;
        const size_t start = w.find("\r\n\r\n") + 4;
        const size_t end = w.rfind("\r\n.\r\nQUIT\r\n");
        ASSERT_NE(end, std::string::npos);
        const std::string expected =
            unicode ? DotStuff(QuotedPrintable(NormaliseLineBreaks(body))) : ToWireText(body);
        EXPECT_TRUE(w.compare(start, end - start, expected) == 0);
        EXPECT_EQ(w.find("\r\n.\r\n"), end);  // no early end of data
    }
}
