#pragma once
#include <string>

namespace meru {

// One address-book entry: six texts, in the order the data file keeps them.
struct CContact {
    std::string m_strName;
    std::string m_strEmail;
    std::string m_strTelephone;
    std::string m_strCellular;
    std::string m_strBirthday;
    std::string m_strNote;  // multi-line, CR LF line breaks

    bool operator==(const CContact&) const = default;
};

}  // namespace meru
