#pragma once
#include <string>

namespace meru {

// Outgoing mail server and the sender's address; stored plain in the data file.
struct MailSettings {
    std::string m_strServer;
    std::string m_strSender;

    bool operator==(const MailSettings&) const = default;
};

}  // namespace meru
