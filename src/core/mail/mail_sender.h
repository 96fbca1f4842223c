#pragma once
// What the compose flow needs from an SMTP client, and the flow itself: the
// full compose form's "Send Mail" connects to the outgoing server, fills the
// client and sends. CSmtpClient implements this interface; tests use fakes.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/mail/mail_settings.h"

namespace meru {

// Why the last operation of a client failed.
enum class MailFailure {
    None,
    InvalidSetting,  // the server setting cannot be read
    Unreachable,     // no connection: name not resolved, refused, time-out
    Tls,             // TLS could not be set up or the certificate is not trusted
    Refused,         // the server answered with an unexpected reply code
    AuthRefused,     // the server refused the login
    Broken,          // the connection closed, failed or a reply timed out
    InvalidMessage,  // the message cannot be sent as it is (see Detail)
    Cancelled,
};

class IMailSender {
public:
    virtual ~IMailSender() = default;

    // Opens the connection and greets the server; port 0 is the port of the
    // setting (or the "smtp" service).
    virtual bool Connect(const std::string& strServer, unsigned short nPort) = 0;
    virtual bool IsConnected() const = 0;
    virtual void SetSender(const std::string& strSender) = 0;
    virtual void SetFrom(const std::string& strFrom) = 0;
    virtual void SetSubject(const std::string& strSubject) = 0;
    virtual void SetBody(const std::string& strBody) = 0;
    // The body without a copy: the text must stay alive and unchanged until
    // Send has returned. By default it is copied through SetBody.
    virtual void SetBodyView(std::string_view body) { SetBody(std::string(body)); }
    // False, and nothing added, for an empty address.
    virtual bool AddTo(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool AddCc(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool AddBcc(const std::string& strAddress, const std::string& strName) = 0;
    virtual bool Send() = 0;
    virtual bool Quit() = 0;

    // The login password for a setting with a user; used by Connect.
    virtual void SetPassword(const std::string& /*strPassword*/) {}
    // After a failed operation: why, and what the user should read (the
    // server's own reply when there is one).
    virtual MailFailure Failure() const { return MailFailure::None; }
    virtual std::string Detail() const { return {}; }
    // The one call allowed from another thread: ends the attempt at once.
    virtual void Cancel() {}
};

// Makes a fresh client for one message.
using MailClientFactory = std::function<std::unique_ptr<IMailSender>()>;

// A client over the real network (POSIX sockets, OpenSSL).
std::unique_ptr<IMailSender> MakeSmtpClient();

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
    Sent,            // the server accepted the message
    ServerNotFound,  // no connection to the server: show kMsgServerNotFound
    SendFailed,      // refused, broken or not sendable: show kMsgSendError
    Cancelled,       // the user ended the attempt: nothing to show
};

struct MailSendResult {
    MailSendOutcome m_outcome = MailSendOutcome::Sent;
    MailFailure m_failure = MailFailure::None;
    std::string m_strDetail;  // the server's reply or the reason, for the user
};

// Names the first field of the message or settings that holds a line break
// (which would add header lines or commands); nothing when all are clean.
std::optional<std::string> FindLineBreakField(const MailSettings& settings,
                                              const ComposedMail& mail);

// One message through one freshly made client: refuse a message whose fields
// hold line breaks before connecting; connect to the settings' server; set
// From, sender, subject, the three recipients (each field is one address,
// empty display name) and the body; send and say QUIT whatever the send
// returned. The password is passed on for a setting with a user.
MailSendResult SendComposedMail(IMailSender& client, const MailSettings& settings,
                                const ComposedMail& mail, const std::string& strPassword = {});

}  // namespace meru
