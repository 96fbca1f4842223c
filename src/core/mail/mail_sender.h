#pragma once
// What the compose flow needs from an SMTP client, and the flow itself: the
// full compose form's "Send Mail" connects to the outgoing server, fills the
// client and sends. CSmtpClient implements this interface (or an adapter over
// it does); tests use a fake that records the calls.
#include <string>
#include <string_view>

#include "core/mail/mail_settings.h"

namespace meru {

class IMailSender {
public:
    virtual ~IMailSender() = default;

    // Opens the connection and greets the server; port 0 is the default port.
    virtual bool Connect(const std::string& strServer, unsigned short nPort) = 0;
    virtual bool IsConnected() const = 0;
    virtual void SetSender(const std::string& strSender) = 0;
    virtual void SetFrom(const std::string& strFrom) = 0;
    virtual void SetSubject(const std::string& strSubject) = 0;
    virtual void SetBody(const std::string& strBody) = 0;
    // False, and nothing added, for an empty address.
    virtual bool AddTo(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool AddCc(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool AddBcc(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool Send() = 0;
    virtual bool Quit() = 0;
};

// The texts of one composed message, UTF-8.
struct ComposedMail {
    std::string m_strTo;
    std::string m_strCc;
    std::string m_strBcc;
    std::string m_strSubject;
    std::string m_strBody;
};

inline constexpr std::string_view kMsgServerNotFound = "Outgoing Mail Server not found!";
inline constexpr std::string_view kMsgSendError = "Error sending mail!";

enum class MailSendOutcome {
    Sent,            // every command went out; the server's replies are not judged
    ServerNotFound,  // Connect failed: show kMsgServerNotFound
    SendFailed,      // Send failed: show kMsgSendError
};

// One message through one freshly made client: connect to the settings'
// server, set sender, From, subject, the three recipients (each field is one
// address, empty display name) and the body; send and say QUIT whatever the
// send returned.
inline MailSendOutcome SendComposedMail(IMailSender& client, const MailSettings& settings,
                                        const ComposedMail& mail) {
    if (!client.Connect(settings.m_strServer, 0)) return MailSendOutcome::ServerNotFound;
    client.SetFrom(settings.m_strSender);
    client.SetSender(settings.m_strSender);
    client.SetSubject(mail.m_strSubject);
    client.AddTo(mail.m_strTo, std::string());
    client.AddCc(mail.m_strCc, std::string());
    client.AddBcc(mail.m_strBcc, std::string());
    client.SetBody(mail.m_strBody);
    MailSendOutcome outcome = MailSendOutcome::Sent;
    if (client.IsConnected()) {
        if (!client.Send()) outcome = MailSendOutcome::SendFailed;
        client.Quit();
    }
    return outcome;
}

}  // namespace meru
