// The real transport against a silent server of the test's own on
// 127.0.0.1: Cancel from another thread ends a wait at once, and a time-out
// ends it on its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/mail/mail_sender.h"
#include "core/mail/smtp_client.h"

using namespace meru;
using namespace std::chrono_literals;

namespace {

// Accepts connections (the kernel does, through the backlog) and never says
// a word.
class CSilentServer {
public:
    CSilentServer() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(m_fd, 4), 0);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_nPort = ntohs(a.sin_port);
    }
    ~CSilentServer() { close(m_fd); }
    std::string Setting() const { return "127.0.0.1:" + std::to_string(m_nPort); }

private:
    int m_fd = -1;
    uint16_t m_nPort = 0;
};

}  // namespace

TEST(SmtpTransport, CancelEndsAWaitForTheServerAtOnce) {
    for (const char* form :
         {"", "smtps://"}) {  // waiting for a reply, and inside the TLS handshake
        SCOPED_TRACE(form);
        CSilentServer server;
        CSmtpClient client;
        client.SetDiagnostics([](std::string_view) {});
        client.SetTimeouts({30s, 30s});
        const auto start = std::chrono::steady_clock::now();
        std::thread canceller([&] {
            std::this_thread::sleep_for(200ms);
            client.Cancel();
        });
        EXPECT_FALSE(client.Connect(std::string(form) + server.Setting(), 0));
        canceller.join();
        EXPECT_EQ(client.Failure(), MailFailure::Cancelled);
        // far from the 30 s time-out
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
}

TEST(SmtpTransport, SilentServerTimesOut) {
    CSilentServer server;
    CSmtpClient client;
    client.SetDiagnostics([](std::string_view) {});
    client.SetTimeouts({2000ms, 300ms});
    EXPECT_FALSE(client.Connect(server.Setting(), 0));
    EXPECT_EQ(client.Failure(), MailFailure::Broken);
    EXPECT_NE(client.Detail().find("did not answer within 300 ms"), std::string::npos)
        << client.Detail();
}

TEST(SmtpTransport, MissingTlsLibraryIsATlsFailureThatSaysSo) {
    // A plain connection never needs the library; a TLS one fails with the
    // reason, and nothing is sent.
    CSilentServer server;
    PosixTransportOptions options;
    options.m_strTlsLibrary = "libmeru-no-such-ssl.so.3";
    CSmtpClient client(MakePosixTransport(options));
    std::string diag;
    client.SetDiagnostics([&](std::string_view line) { diag += line; });
    client.SetTimeouts({2000ms, 300ms});
    EXPECT_FALSE(client.Connect(server.Setting(), 0));
    EXPECT_EQ(client.Failure(), MailFailure::Broken);  // the silent server, not TLS
    EXPECT_FALSE(client.Connect("smtps://" + server.Setting(), 0));
    EXPECT_EQ(client.Failure(), MailFailure::Tls);
    EXPECT_NE(client.Detail().find("TLS support could not be loaded: libmeru-no-such-ssl.so.3"),
              std::string::npos)
        << client.Detail();
    EXPECT_NE(diag.find("TLS failed: TLS support could not be loaded"), std::string::npos) << diag;
}
