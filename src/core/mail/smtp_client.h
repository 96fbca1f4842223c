#pragma once
// CSmtpClient sends one plain-text message to an outgoing mail server over
// one connection. Every reply is read whole and its code checked; a refusal
// fails the operation and Detail() gives the server's reply. Diagnostics go
// to standard output as one line each, ending in CR LF.
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/mail/mail_sender.h"
#include "core/mail/smtp_message.h"
#include "core/mail/smtp_transport.h"

namespace meru {

// One recipient text: display name immediately followed by "<address>".
class CMailRecipient {
public:
    CMailRecipient(std::string_view strAddress, std::string_view strName);
    virtual ~CMailRecipient() = default;
    const std::string& Text() const { return m_strText; }
    // What follows the first "<" up to the next "<" or the end (so it ends
    // with the closing ">").
    std::string AddressPart() const;

private:
    std::string m_strText;
};

struct SmtpTimeouts {
    std::chrono::milliseconds m_connect{15000};  // name look-up and connection, TLS handshake
    std::chrono::milliseconds m_reply{60000};    // each reply, each wait to write
};

class CSmtpClient final : public IMailSender {
public:
    CSmtpClient();  // over the real network
    explicit CSmtpClient(std::unique_ptr<ISmtpTransport> pTransport);
    ~CSmtpClient() override;
    CSmtpClient(const CSmtpClient&) = delete;
    CSmtpClient& operator=(const CSmtpClient&) = delete;

    bool Connect(const std::string& strServer, unsigned short nPort) override;
    bool IsConnected() const override { return m_bConnected; }
    void SetSender(const std::string& strSender) override { m_strSender = strSender; }
    void SetFrom(const std::string& strFrom) override { m_strFrom = strFrom; }
    void SetSubject(const std::string& strSubject) override { m_strSubject = strSubject; }
    void SetBody(const std::string& strBody) override;
    void SetBodyView(std::string_view body) override;
    bool AddTo(const std::string& strAddress, const std::string& strName) override;
    bool AddCc(const std::string& strAddress, const std::string& strName) override;
    bool AddBcc(const std::string& strAddress, const std::string& strName) override;
    bool Send() override;
    bool Quit() override;

    void SetPassword(const std::string& strPassword) override { m_strPassword = strPassword; }
    MailFailure Failure() const override { return m_failure; }
    std::string Detail() const override { return m_strDetail; }
    void Cancel() override;

    void SetTimeouts(SmtpTimeouts timeouts) { m_timeouts = timeouts; }
    // The name said in HELO/EHLO; by default this machine's fully qualified
    // name, else the address literal of our end of the connection.
    void SetLocalName(std::string strName) { m_strLocalName = std::move(strName); }
    // Where the diagnostic lines go; standard output by default.
    void SetDiagnostics(std::function<void(std::string_view)> fn) { m_fnDiag = std::move(fn); }
    void SetClock(std::function<std::time_t()> fn) { m_fnClock = std::move(fn); }

    // The header as Send writes it; nothing (and the diagnostic) without a To.
    std::optional<std::string> BuildHeader();

private:
    struct Reply {
        int m_nCode = 0;
        std::string m_strText;  // every line, joined with "\n"
    };

    void Diag(std::string_view line);
    bool Fail(MailFailure failure, std::string detail);
    // Sends one command line (CR LF added) and reads its reply; true when
    // its code is one of the expected ones. strShown replaces the line in
    // messages (for AUTH secrets).
    bool Command(std::string_view line, std::initializer_list<int> expect,
                 std::string_view strShown = {});
    bool WriteAll(std::string_view bytes);
    bool ReadReply(Reply& reply, std::string_view what);
    bool Expect(const Reply& reply, std::initializer_list<int> expect, std::string_view what);
    bool Hello(bool bExtended);
    bool Authenticate();
    void Drop();
    std::string LocalName() const;
    std::optional<std::string> BuildHeaderFor(bool bQuoted);
    std::optional<std::string> CheckFields() const;

    std::unique_ptr<ISmtpTransport> m_pTransport;
    bool m_bConnected = false;
    std::optional<std::string> m_strSender;
    std::optional<std::string> m_strFrom;
    std::optional<std::string> m_strSubject;
    std::string m_strBodyCopy;  // the text of SetBody
    std::string_view m_body;    // the body Send sends: m_strBodyCopy or the caller's
    std::vector<std::unique_ptr<CMailRecipient>> m_aTo;
    std::vector<std::unique_ptr<CMailRecipient>> m_aCc;
    std::vector<std::unique_ptr<CMailRecipient>> m_aBcc;

    SmtpServerSetting m_setting;
    std::string m_strPassword;
    std::vector<std::string> m_aCapabilities;  // EHLO keywords, upper case
    std::string m_strInBuf;                    // reply bytes read but not yet used
    SmtpTimeouts m_timeouts;
    std::string m_strLocalName;
    std::function<void(std::string_view)> m_fnDiag;
    std::function<std::time_t()> m_fnClock;
    std::atomic<bool> m_bCancelled{false};
    MailFailure m_failure = MailFailure::None;
    std::string m_strDetail;
};

}  // namespace meru
