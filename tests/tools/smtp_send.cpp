// Sends one message through the SMTP client with the given settings, the way
// the compose dialog does, for the tests that run a real server.
//   smtp_send --server SETTING --sender ADDR --to ADDR [--cc ADDR] [--bcc ADDR]
//             [--subject TEXT] [--body-file FILE] [--password TEXT]
//             [--cafile PEM] [--connect-timeout-ms N] [--reply-timeout-ms N]
// The client's diagnostics go to standard output; "outcome: ..." and
// "detail: ..." to standard error. Exit code: 0 sent, 1 server not found,
// 2 send failed, 3 cancelled, 64 bad arguments.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/mail/mail_sender.h"
#include "core/mail/smtp_client.h"

using namespace meru;

int main(int argc, char** argv) {
    MailSettings settings;
    ComposedMail mail;
    std::string password;
    PosixTransportOptions options;
    SmtpTimeouts timeouts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "missing value after " << arg << "\n";
            return 64;
        }
        const std::string value = argv[++i];
        if (arg == "--server")
            settings.m_strServer = value;
        else if (arg == "--sender")
            settings.m_strSender = value;
        else if (arg == "--to")
            mail.m_strTo = value;
        else if (arg == "--cc")
            mail.m_strCc = value;
        else if (arg == "--bcc")
            mail.m_strBcc = value;
        else if (arg == "--subject")
            mail.m_strSubject = value;
        else if (arg == "--password")
            password = value;
        else if (arg == "--cafile")
            options.m_strCaFile = value;
        else if (arg == "--connect-timeout-ms")
            timeouts.m_connect = std::chrono::milliseconds(std::stol(value));
        else if (arg == "--reply-timeout-ms")
            timeouts.m_reply = std::chrono::milliseconds(std::stol(value));
        else if (arg == "--body-file") {
            std::ifstream in(value, std::ios::binary);
            if (!in) {
                std::cerr << "cannot read " << value << "\n";
                return 64;
            }
            std::ostringstream s;
            s << in.rdbuf();
            mail.m_strBody = s.str();
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 64;
        }
    }
    CSmtpClient client(MakePosixTransport(options));
    client.SetTimeouts(timeouts);
    const MailSendResult r = SendComposedMail(client, settings, mail, password);
    static const char* const kNames[] = {"sent", "server-not-found", "send-failed", "cancelled"};
    std::cerr << "outcome: " << kNames[static_cast<int>(r.m_outcome)] << "\n";
    std::cerr << "detail: " << r.m_strDetail << "\n";
    return static_cast<int>(r.m_outcome);
}
