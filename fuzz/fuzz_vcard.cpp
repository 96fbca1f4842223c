// Feeds arbitrary bytes to the vCard reader. Whatever it accepts must give
// valid UTF-8 texts that survive writing and reading back unchanged (line
// breaks in the CR LF form the program stores).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/contacts/vcard.h"
#include "core/text/text_codec.h"

using namespace meru;

namespace {

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "vcard: %s\n", what);
    std::abort();
}

bool ValidUtf8(const std::string& s) {
    // Windows-1252 can hold every character only when the text is valid;
    // Utf8ToCp1252 refuses malformed UTF-8, so test via UTF-16 instead.
    return Utf16LeToUtf8(Utf8ToUtf16Le(s)) == s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const VCardImport first = ReadVCards(bytes);
    if (!first.ok) {
        if (!first.contacts.empty()) Fault("failure with contacts");
        if (first.error.empty()) Fault("failure without a message");
        return 0;
    }
    if (first.contacts.empty()) Fault("success without a contact");
    for (const CContact& c : first.contacts) {
        for (const std::string* s : {&c.m_strName, &c.m_strEmail, &c.m_strTelephone,
                                     &c.m_strCellular, &c.m_strBirthday, &c.m_strNote})
            if (!ValidUtf8(*s)) Fault("text is not valid UTF-8");
    }
    const VCardImport second = ReadVCards(WriteVCards(first.contacts));
    if (!second.ok) Fault("written file does not read back");
    if (!(second.contacts == first.contacts)) Fault("contacts differ after write and read");
    return 0;
}
