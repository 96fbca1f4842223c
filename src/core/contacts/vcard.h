#pragma once
// vCard files (RFC 6350), the format phones, mail programs and address books
// exchange contacts in.
//
// Writing: version 4.0, one card per contact, UTF-8, CR LF, lines folded at
// 75 octets. FN and N carry the Name, EMAIL the Email, TEL;TYPE=voice the
// Telephone, TEL;TYPE=cell the Cellular, BDAY;VALUE=text the Birthday (as
// typed, never read as a date) and NOTE the Note. Empty fields are left out,
// except FN, which every card has.
//
// Reading: versions 2.1, 3.0 and 4.0 as phones, Google and Thunderbird write
// them: folded lines, escapes, quoted-printable, CHARSET (UTF-8, else read as
// Windows-1252), grouped properties ("item1.EMAIL"), several TEL and EMAIL
// per card (the first of each kind is used). A card without FN gets its N,
// else its e-mail address, as Name. Line breaks in values become CR LF, as
// the program stores them. A file that is damaged or not a vCard file gives
// an error and no contact at all.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/contacts/contact.h"

namespace meru {

// The file of all contacts, in list order.
std::string WriteVCards(const std::vector<CContact>& contacts);

// Files bigger than this are refused before anything is read.
inline constexpr std::size_t kMaxVCardFileBytes = 64u * 1024u * 1024u;
// For a file that is too big, or not a regular file.
inline constexpr std::string_view kMsgVCardUnreadable =
    "This is not a vCard file: it is not a regular file or it is larger than 64 MiB.";

struct VCardImport {
    bool ok = false;
    std::vector<CContact> contacts;  // one per card, in file order (when ok)
    std::string error;               // what went wrong (when not ok), one line
};

VCardImport ReadVCards(std::string_view bytes);

// "1 contact added." / "N contacts added."
std::string ImportedMessage(std::size_t n);

}  // namespace meru
