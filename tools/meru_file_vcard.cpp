// meru-file export-vcard / import-vcard: the address book of a data file as
// a vCard file (version 4.0) on standard output, and the cards of a vCard
// file (2.1, 3.0 or 4.0) on standard input appended to it.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include "core/contacts/vcard.h"
#include "core/store/datafile.h"
#include "core/store/meru_data.h"
#include "meru_file.h"

namespace meru_file {

using namespace meru;

using namespace meru::tool;

int ExportVCard(const std::string& path, const std::optional<std::string>& password) {
    CMeruData data;
    if (const int rc = LoadDataFile(path, password, data); rc != kExitOk) return rc;
    const std::string text = WriteVCards(data.m_aContacts);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(kExitIo, std::string("standard output: ") + std::strerror(errno));
    return kExitOk;
}

int ImportVCard(const std::string& path, const std::optional<std::string>& password) {
    CMeruData data;
    if (const int rc = LoadDataFile(path, password, data); rc != kExitOk) return rc;

    std::string input;
    char buf[65536];
    while (std::cin.read(buf, sizeof buf) || std::cin.gcount() > 0) {
        input.append(buf, static_cast<size_t>(std::cin.gcount()));
        if (input.size() > kMaxVCardFileBytes)
            return Fail(kExitUsage, std::string(kMsgVCardUnreadable));
    }
    if (std::cin.bad())
        return Fail(kExitIo, std::string("standard input: ") + std::strerror(errno));

    VCardImport imported = ReadVCards(input);
    if (!imported.ok) return Fail(kExitUsage, "standard input: " + imported.error);
    const size_t n = imported.contacts.size();
    for (CContact& c : imported.contacts) data.m_aContacts.push_back(std::move(c));

    // The file keeps its password (data.m_strPassword, as loaded).
    const std::string bytes = SerializeData(data);
    if (auto reason = WriteFileAtomically(path, bytes)) return Fail(kExitIo, path + ": " + *reason);
    std::cerr << "meru-file: " << ImportedMessage(n) << '\n';
    return kExitOk;
}

}  // namespace meru_file

namespace meru::tool {

int CmdExportVCard(const std::vector<std::string_view>& args) {
    const auto a = ParseFileArgs("export-vcard", args);
    return a ? meru_file::ExportVCard(a->strFile, a->password) : kExitUsage;
}

int CmdImportVCard(const std::vector<std::string_view>& args) {
    const auto a = ParseFileArgs("import-vcard", args);
    return a ? meru_file::ImportVCard(a->strFile, a->password) : kExitUsage;
}

}  // namespace meru::tool
