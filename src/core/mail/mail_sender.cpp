#include "core/mail/mail_sender.h"

#include "core/mail/smtp_message.h"

namespace meru {

std::optional<std::string> FindLineBreakField(const MailSettings& settings,
                                              const ComposedMail& mail) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"Outgoing Mail Server", &settings.m_strServer},
        {"Sender Email Adress", &settings.m_strSender},
        {"To", &mail.m_strTo},
        {"CC", &mail.m_strCc},
        {"BCC", &mail.m_strBcc},
        {"Subject", &mail.m_strSubject},
    };
    for (const auto& [name, text] : fields)
        if (HasLineBreak(*text)) return std::string(name);
    return std::nullopt;
}

MailSendResult SendComposedMail(IMailSender& client, const MailSettings& settings,
                                const ComposedMail& mail, const std::string& strPassword) {
    MailSendResult result;
    if (auto field = FindLineBreakField(settings, mail)) {
        result.m_outcome = MailSendOutcome::SendFailed;
        result.m_failure = MailFailure::InvalidMessage;
        result.m_strDetail = "The " + *field +
                             " field holds a line break, which would change the message's "
                             "header or commands. Nothing was sent.";
        return result;
    }
    auto failed = [&](MailSendOutcome outcome) {
        result.m_failure = client.Failure();
        result.m_strDetail = client.Detail();
        if (result.m_failure == MailFailure::Cancelled)
            result.m_outcome = MailSendOutcome::Cancelled;
        else
            result.m_outcome = outcome;
    };
    if (!strPassword.empty()) client.SetPassword(strPassword);
    if (!client.Connect(settings.m_strServer, 0)) {
        // Only a server that was never reached is "not found"; a server that
        // answered and refused (greeting, TLS, login) is a failed send.
        const MailFailure f = client.Failure();
        const bool notFound = f == MailFailure::None || f == MailFailure::Unreachable ||
                              f == MailFailure::InvalidSetting;
        failed(notFound ? MailSendOutcome::ServerNotFound : MailSendOutcome::SendFailed);
        return result;
    }
    client.SetFrom(settings.m_strSender);
    client.SetSender(settings.m_strSender);
    client.SetSubject(mail.m_strSubject);
    client.AddTo(mail.m_strTo, std::string());
    client.AddCc(mail.m_strCc, std::string());
    client.AddBcc(mail.m_strBcc, std::string());
    client.SetBodyView(mail.m_strBody);  // mail outlives the Send below
    if (client.IsConnected()) {
        if (!client.Send()) failed(MailSendOutcome::SendFailed);
        if (result.m_outcome != MailSendOutcome::Cancelled) client.Quit();
    }
    return result;
}

}  // namespace meru
