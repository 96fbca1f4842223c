#pragma once
// The address book's rules, independent of any window: the list kept sorted
// by name, the row texts of the two-column list, the row that stays selected
// across a refresh, and the sorting of clipboard text into one field of a
// new contact.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/contacts/contact.h"

namespace meru {

// The list's second column.
enum ColumnMode : int {
    kColumnTelephone = 0,
    kColumnEmail = 1,
    kColumnCellular = 2,
};

// The text shown in the second column for `mode`.
const std::string& ColumnText(const CContact& c, int mode);
// One row of the list: Name, a tab, then the second column's text.
std::string RowText(const CContact& c, int mode);

// Sorts by Name, byte by byte (UTF-8, case-sensitive): the order the program
// has always shown, equal names included.
void SortContacts(std::vector<CContact>& contacts);

// The row selected after a refresh: the same index when it still exists,
// otherwise none (-1).
inline int RememberedRow(int selected, std::size_t count) {
    return selected >= 0 && static_cast<std::size_t>(selected) < count ? selected : -1;
}

// The contact list as the window works on it. The list itself belongs to
// the program's data; this keeps the column mode and the selected row.
class CContactBook {
public:
    explicit CContactBook(std::vector<CContact>& contacts) : m_aContacts(contacts) {}

    std::vector<CContact>& Contacts() { return m_aContacts; }
    const std::vector<CContact>& Contacts() const { return m_aContacts; }
    int Count() const { return static_cast<int>(m_aContacts.size()); }

    int ColumnMode() const { return m_nColumnMode; }
    // Sets the column mode (0, 1 or 2; anything else is ignored) and refreshes.
    void SetColumnMode(int mode);

    // -1: no row selected.
    int Selected() const { return m_nSelected; }
    void Select(int row) { m_nSelected = RememberedRow(row, m_aContacts.size()); }
    const CContact* SelectedContact() const {
        return m_nSelected >= 0 ? &m_aContacts[static_cast<std::size_t>(m_nSelected)] : nullptr;
    }

    std::string Row(int row) const {
        return RowText(m_aContacts[static_cast<std::size_t>(row)], m_nColumnMode);
    }

    // Sorts by name and keeps the selected row index when it still exists.
    void Refresh();
    // Appends the contact and refreshes.
    void Add(CContact c);
    // Appends several and refreshes once.
    void AddAll(std::vector<CContact> cs);
    // Replaces the contact at `row` and refreshes; false (nothing changed)
    // for a row that does not exist.
    bool Edit(int row, CContact c);
    // Removes the contact at `row` and refreshes; false for a row that does
    // not exist. The selection stays at the same index: the next contact.
    bool Delete(int row);

private:
    std::vector<CContact>& m_aContacts;
    int m_nColumnMode = kColumnTelephone;
    int m_nSelected = -1;
};

// ---------------------------------------------------------------- clipboard

// Longest clipboard text (in characters) that is sorted into a field of a
// new contact; a longer one is not used at all, so nothing is ever cut.
inline constexpr std::size_t kMaxClipChars = 4096;

enum class ClipField { None, Name, Email, Telephone, Cellular };

struct ClipClassification {
    ClipField field = ClipField::None;
    std::string value;  // the text placed into the field
};

// Sorts clipboard text into one field of a new contact:
//   - the text is not used (None) when it is empty, longer than
//     kMaxClipChars characters, or holds line breaks or other control
//     characters after the white space around it is dropped;
//   - every blank is removed; the rest is the value placed;
//   - a value with "@" is the Email;
//   - otherwise, when the value with its dashes removed starts with a number
//     (optional white space, optional sign, at least one digit) it is the
//     Telephone if that copy starts with "0", else the Cellular;
//   - anything else is the Name.
ClipClassification ClassifyClipText(std::string_view text);

// A new contact pre-filled from clipboard text.
CContact ContactFromClipText(std::string_view text);

}  // namespace meru
