#pragma once
// The one description of each record the data file holds: its texts in the
// order the file keeps them, the name each has in meru-file's JSON, and
// whether the password scrambles it. The reader, the writer, the size
// estimate and the JSON conversion all walk these tables, so a field or a
// record type is added here and nowhere else.
#include <array>
#include <string>
#include <string_view>

#include "core/bookmarks/bookmark.h"
#include "core/contacts/contact.h"
#include "core/mail/mail_settings.h"

namespace meru {

template <class R>
struct Field {
    std::string_view key;  // name in JSON
    std::string R::*member;
};

template <class R>
struct Record;  // kCovered (scrambled by the password), kFields

template <>
struct Record<CContact> {
    static constexpr bool kCovered = true;
    static constexpr std::array<Field<CContact>, 6> kFields{{
        {"name", &CContact::m_strName},
        {"email", &CContact::m_strEmail},
        {"telephone", &CContact::m_strTelephone},
        {"cellular", &CContact::m_strCellular},
        {"birthday", &CContact::m_strBirthday},
        {"note", &CContact::m_strNote},
    }};
};

template <>
struct Record<CBookmark> {
    static constexpr bool kCovered = true;
    static constexpr std::array<Field<CBookmark>, 2> kFields{{
        {"name", &CBookmark::m_strName},
        {"url", &CBookmark::m_strURL},
    }};
};

template <>
struct Record<MailSettings> {
    static constexpr bool kCovered = false;
    static constexpr std::array<Field<MailSettings>, 2> kFields{{
        {"server", &MailSettings::m_strServer},
        {"sender", &MailSettings::m_strSender},
    }};
};

template <>
struct Record<BrowserSetting> {
    static constexpr bool kCovered = false;
    static constexpr std::array<Field<BrowserSetting>, 2> kFields{{
        {"program", &BrowserSetting::m_strProgram},
        {"folder", &BrowserSetting::m_strFolder},
    }};
};

// Number of texts of a record.
template <class R>
inline constexpr size_t kFieldCount = Record<R>::kFields.size();

}  // namespace meru
