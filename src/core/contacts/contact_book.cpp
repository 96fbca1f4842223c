#include "core/contacts/contact_book.h"

#include <algorithm>
#include <numeric>

#include "core/common/name_sort.h"

namespace meru {

const std::string& ColumnText(const CContact& c, int mode) {
    switch (mode) {
        case kColumnEmail: return c.m_strEmail;
        case kColumnCellular: return c.m_strCellular;
        default: return c.m_strTelephone;
    }
}

std::string RowText(const CContact& c, int mode) {
    const std::string& second = ColumnText(c, mode);
    std::string row;
    row.reserve(c.m_strName.size() + 1 + second.size());
    row += c.m_strName;
    row += '\t';
    row += second;
    return row;
}

void SortContacts(std::vector<CContact>& contacts) {
    SortByName(contacts, [](const CContact& c) -> const std::string& { return c.m_strName; });
}

void CContactBook::SetColumnMode(int mode) {
    if (mode != kColumnTelephone && mode != kColumnEmail && mode != kColumnCellular) return;
    m_nColumnMode = mode;
    Refresh();
}

void CContactBook::Refresh() {
    SortContacts(m_aContacts);
    m_nSelected = RememberedRow(m_nSelected, m_aContacts.size());
}

void CContactBook::Add(CContact c) {
    m_aContacts.push_back(std::move(c));
    Refresh();
}

void CContactBook::AddAll(std::vector<CContact> cs) {
    m_aContacts.reserve(m_aContacts.size() + cs.size());
    for (CContact& c : cs) m_aContacts.push_back(std::move(c));
    Refresh();
}

bool CContactBook::Edit(int row, CContact c) {
    if (RememberedRow(row, m_aContacts.size()) < 0) return false;
    m_aContacts[static_cast<std::size_t>(row)] = std::move(c);
    Refresh();
    return true;
}

bool CContactBook::Delete(int row) {
    if (RememberedRow(row, m_aContacts.size()) < 0) return false;
    m_aContacts.erase(m_aContacts.begin() + row);
    Refresh();
    return true;
}

// ---------------------------------------------------------------- clipboard

namespace {

// White space as the C library's isspace() sees it in the "C" locale.
bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Characters of a UTF-8 text: every byte that does not continue one.
std::size_t CharCount(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// What a "%ld" conversion accepts at the start: optional white space, an
// optional sign, then at least one decimal digit (the size does not matter).
bool StartsWithNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    return i < s.size() && s[i] >= '0' && s[i] <= '9';
}

}  // namespace

ClipClassification ClassifyClipText(std::string_view text) {
    // A copied line often carries its line break (or white space) along;
    // the text itself is what counts.
    while (!text.empty() && IsCSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsCSpace(text.back())) text.remove_suffix(1);
    if (text.empty() || CharCount(text) > kMaxClipChars) return {};
    for (char c : text)
        if (c != ' ' && IsControl(static_cast<unsigned char>(c))) return {};

    ClipClassification out;
    out.value.reserve(text.size());
    for (char c : text)
        if (c != ' ') out.value.push_back(c);

    if (out.value.find('@') != std::string::npos) {
        out.field = ClipField::Email;
        return out;
    }
    std::string digits;
    digits.reserve(out.value.size());
    for (char c : out.value)
        if (c != '-') digits.push_back(c);
    if (StartsWithNumber(digits))
        out.field = digits.front() == '0' ? ClipField::Telephone : ClipField::Cellular;
    else
        out.field = ClipField::Name;
    return out;
}

CContact ContactFromClipText(std::string_view text) {
    ClipClassification cls = ClassifyClipText(text);
    CContact c;
    switch (cls.field) {
        case ClipField::Name: c.m_strName = std::move(cls.value); break;
        case ClipField::Email: c.m_strEmail = std::move(cls.value); break;
        case ClipField::Telephone: c.m_strTelephone = std::move(cls.value); break;
        case ClipField::Cellular: c.m_strCellular = std::move(cls.value); break;
        case ClipField::None: break;
    }
    return c;
}

}  // namespace meru
