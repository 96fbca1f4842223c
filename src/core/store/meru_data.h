#pragma once
#include <string>
#include <vector>

#include "core/bookmarks/bookmark.h"
#include "core/contacts/contact.h"
#include "core/mail/mail_settings.h"

namespace meru {

// Everything the data file holds. Texts are UTF-8 in memory; notes pages and
// contact notes keep CR LF line breaks.
struct CMeruData {
    std::vector<std::string> m_aPages{std::string()};  // one empty page
    std::vector<CContact> m_aContacts;
    MailSettings m_mail;
    BookmarkGroups m_aGroups = DefaultGroups();
    BrowserSetting m_browser;
    std::string m_strPassword;  // plain; empty = no password

    bool operator==(const CMeruData&) const = default;
};

}  // namespace meru
