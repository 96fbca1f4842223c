// meru-file: dumps a MERU data file as JSON and builds one from JSON, for
// backups, scripting and migration.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/store/datafile.h"
#include "core/store/meru_data.h"
#include "core/store/text_codec.h"

namespace {

using Json = nlohmann::ordered_json;
using namespace meru;

enum Exit : int {
    kExitOk = 0,
    kExitUsage = 1,      // usage error, bad JSON input, password not representable
    kExitNotOurs = 2,    // not a data file of this format (tag, version, damage)
    kExitLocked = 3,     // password missing or wrong
    kExitIo = 4,         // the system refused to read or write
};

constexpr std::string_view kHelp = R"(Usage:
  meru-file dump FILE [--password PW]
  meru-file build FILE < data.json
  meru-file export-vcard FILE [--password PW] > contacts.vcf
  meru-file import-vcard FILE [--password PW] < contacts.vcf
  meru-file --help | -h

dump   Reads the MERU data file FILE and prints its content as JSON on
       standard output. A file protected by a password can only be dumped
       with --password (or --password=PW) giving that password exactly.
build  Reads JSON of the shape printed by dump from standard input and
       writes FILE in format version 22. The file is replaced atomically: a
       temporary file beside it is written, flushed to disk and renamed over
       the old one, so FILE is either the old file or the new one. When
       "password" is not empty the texts are stored scrambled with it.

export-vcard  Prints the contacts of FILE as a vCard file (version 4.0,
       UTF-8, CR LF) on standard output.
import-vcard  Reads a vCard file (version 2.1, 3.0 or 4.0) from standard
       input and appends one contact per card to FILE, which is replaced
       atomically as by build and keeps its password. A file that is not a
       vCard file, or is damaged, changes nothing (exit status 1).

JSON shape (keys in this order; texts are UTF-8, line breaks in pages and
contact notes are CR LF as stored):
  {
    "format_version": 22,
    "password": "",
    "pages": ["text of page 1", ...],
    "contacts": [{"name": "", "email": "", "telephone": "", "cellular": "",
                  "birthday": "", "note": ""}, ...],
    "mail": {"server": "", "sender": ""},
    "groups": [{"name": "Group 1", "bookmarks": [{"name": "", "url": ""}, ...]},
               ... exactly 20 groups ...],
    "browser": {"program": "", "folder": ""}
  }
  dump: "format_version" is the version read (21 or 22); "password" is the
  file's password when it was given correctly, "" when the file has none.
  build: "format_version" may be left out or be 21 or 22 (the file written is
  always version 22); every other key is required, with the type shown, and
  no other key is accepted. The password must be representable in
  Windows-1252 (its bytes are the scrambling key).

Exit status:
  0  success
  1  usage error; invalid JSON or JSON of the wrong shape (the message names
     the offending element); a password outside Windows-1252. Nothing is
     written.
  2  FILE is not a MERU data file of a known format (wrong tag, wrong
     version, truncated or damaged)
  3  FILE has a password and none or a wrong one was given
  4  input/output error (FILE missing or unreadable, cannot be written)

Note: a password given on the command line can be seen by other users of
the machine in the process list.
)";

int Fail(int code, std::string_view what) {
    std::cerr << "meru-file: " << what << '\n';
    return code;
}

int Usage(std::string_view what) {
    std::cerr << "meru-file: " << what << "\nTry 'meru-file --help' for more information.\n";
    return kExitUsage;
}

// ------------------------------------------------------------------ dump

Json ToJson(const CMeruData& d, int version, bool passwordKnown) {
    Json j;
    j["format_version"] = version;
    j["password"] = passwordKnown ? d.m_strPassword : std::string();
    Json pages = Json::array();
    for (const auto& p : d.m_aPages) pages.push_back(p);
    j["pages"] = std::move(pages);
    Json contacts = Json::array();
    for (const auto& c : d.m_aContacts) {
        Json o;
        o["name"] = c.m_strName;
        o["email"] = c.m_strEmail;
        o["telephone"] = c.m_strTelephone;
        o["cellular"] = c.m_strCellular;
        o["birthday"] = c.m_strBirthday;
        o["note"] = c.m_strNote;
        contacts.push_back(std::move(o));
    }
    j["contacts"] = std::move(contacts);
    j["mail"] = {{"server", d.m_mail.m_strServer}, {"sender", d.m_mail.m_strSender}};
    Json groups = Json::array();
    for (const auto& g : d.m_aGroups) {
        Json marks = Json::array();
        for (const auto& b : g.m_aBookmarks) marks.push_back({{"name", b.m_strName}, {"url", b.m_strURL}});
        groups.push_back({{"name", g.m_strName}, {"bookmarks", std::move(marks)}});
    }
    j["groups"] = std::move(groups);
    j["browser"] = {{"program", d.m_browser.m_strProgram}, {"folder", d.m_browser.m_strFolder}};
    return j;
}

int Dump(const std::string& path, const std::optional<std::string>& password) {
    CDataFile file(path);
    CMeruData data;
    const LoadOutcome out = file.LoadData(data, [&] { return password; });
    switch (out.status) {
    case LoadStatus::Loaded:
        break;
    case LoadStatus::NoFile:
        return Fail(kExitIo, path + ": " + std::strerror(ENOENT));
    case LoadStatus::CannotOpen:
        return Fail(kExitIo, path + ": " + out.reason);
    case LoadStatus::BadTag:
    case LoadStatus::BadVersion:
    case LoadStatus::ReadError:
        return Fail(kExitNotOurs, path + ": " + out.message);
    }
    if (out.password == PasswordState::Wrong || out.password == PasswordState::Cancelled)
        return Fail(kExitLocked, path + ": " + out.message);

    const Json j = ToJson(data, out.version, out.password == PasswordState::Accepted);
    // The codec hands out valid UTF-8; should a text ever hold a stray byte,
    // it becomes U+FFFD rather than aborting the dump.
    const std::string text = j.dump(2, ' ', false, Json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(kExitIo, std::string("standard output: ") + std::strerror(errno));
    return kExitOk;
}

// ------------------------------------------------------------------ build

// A JSON element of the wrong shape; what() names it.
struct ShapeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string TypeName(const Json& v) { return v.type_name(); }

[[noreturn]] void Wrong(const std::string& where, std::string_view expected, const Json& v) {
    throw ShapeError(where + ": expected " + std::string(expected) + ", found " + TypeName(v));
}

const Json& Object(const Json& v, const std::string& where, std::initializer_list<std::string_view> keys) {
    if (!v.is_object()) Wrong(where, "an object", v);
    for (auto k : keys)
        if (!v.contains(k)) throw ShapeError(where + ": missing key \"" + std::string(k) + "\"");
    for (const auto& [k, unused] : v.items()) {
        bool known = false;
        for (auto key : keys) known = known || k == key;
        if (!known) throw ShapeError(where + ": unknown key \"" + k + "\"");
    }
    return v;
}

std::string Member(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string Text(const Json& obj, const std::string& where, std::string_view key) {
    const Json& v = obj.at(key);
    if (!v.is_string()) Wrong(Member(where, key), "a string", v);
    return v.get<std::string>();
}

const Json& Array(const Json& obj, const std::string& where, std::string_view key) {
    const Json& v = obj.at(key);
    if (!v.is_array()) Wrong(Member(where, key), "an array", v);
    return v;
}

std::string At(const std::string& where, size_t i) { return where + "[" + std::to_string(i) + "]"; }

CMeruData FromJson(const Json& j) {
    Object(j, "top level", {"password", "pages", "contacts", "mail", "groups", "browser"});
    // (format_version is optional; Object() accepts it as known below.)
    CMeruData d;
    d.m_strPassword = Text(j, "", "password");

    const Json& pages = Array(j, "", "pages");
    d.m_aPages.clear();
    d.m_aPages.reserve(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        if (!pages[i].is_string()) Wrong(At("pages", i), "a string", pages[i]);
        d.m_aPages.push_back(pages[i].get<std::string>());
    }

    const Json& contacts = Array(j, "", "contacts");
    d.m_aContacts.reserve(contacts.size());
    for (size_t i = 0; i < contacts.size(); ++i) {
        const std::string where = At("contacts", i);
        const Json& o = Object(contacts[i], where,
                               {"name", "email", "telephone", "cellular", "birthday", "note"});
        CContact c;
        c.m_strName = Text(o, where, "name");
        c.m_strEmail = Text(o, where, "email");
        c.m_strTelephone = Text(o, where, "telephone");
        c.m_strCellular = Text(o, where, "cellular");
        c.m_strBirthday = Text(o, where, "birthday");
        c.m_strNote = Text(o, where, "note");
        d.m_aContacts.push_back(std::move(c));
    }

    const Json& mail = Object(j.at("mail"), "mail", {"server", "sender"});
    d.m_mail.m_strServer = Text(mail, "mail", "server");
    d.m_mail.m_strSender = Text(mail, "mail", "sender");

    const Json& groups = Array(j, "", "groups");
    if (groups.size() != d.m_aGroups.size())
        throw ShapeError("groups: expected exactly " + std::to_string(d.m_aGroups.size()) +
                         " groups, found " + std::to_string(groups.size()));
    for (size_t g = 0; g < groups.size(); ++g) {
        const std::string where = At("groups", g);
        const Json& o = Object(groups[g], where, {"name", "bookmarks"});
        auto& group = d.m_aGroups[g];
        group.m_strName = Text(o, where, "name");
        const Json& marks = Array(o, where, "bookmarks");
        const std::string marksWhere = Member(where, "bookmarks");
        for (size_t i = 0; i < marks.size(); ++i) {
            const std::string at = At(marksWhere, i);
            const Json& m = Object(marks[i], at, {"name", "url"});
            group.m_aBookmarks.push_back({Text(m, at, "name"), Text(m, at, "url")});
        }
    }

    const Json& browser = Object(j.at("browser"), "browser", {"program", "folder"});
    d.m_browser.m_strProgram = Text(browser, "browser", "program");
    d.m_browser.m_strFolder = Text(browser, "browser", "folder");
    return d;
}

int Build(const std::string& path) {
    std::string input(std::istreambuf_iterator<char>(std::cin), {});
    if (std::cin.bad()) return Fail(kExitIo, std::string("standard input: ") + std::strerror(errno));

    Json j;
    try {
        j = Json::parse(input);
    } catch (const Json::parse_error& e) {
        return Fail(kExitUsage, std::string("invalid JSON on standard input: ") + e.what());
    }

    CMeruData data;
    try {
        // format_version is the one optional key: check it, then leave it out
        // of the strict shape check.
        if (j.is_object() && j.contains("format_version")) {
            const Json& v = j["format_version"];
            if (!v.is_number_integer()) Wrong("format_version", "21 or 22", v);
            const auto n = v.get<long long>();
            if (n != kFormatVersion && n != kOldFormatVersion)
                throw ShapeError("format_version: expected 21 or 22, found " + std::to_string(n));
            j.erase("format_version");
        }
        data = FromJson(j);
    } catch (const ShapeError& e) {
        return Fail(kExitUsage, e.what());
    }

    if (!Utf8ToCp1252(data.m_strPassword))
        return Fail(kExitUsage,
                    "password: it has characters outside Windows-1252, which the data file "
                    "cannot use as a key");

    std::string bytes;
    try {
        bytes = SerializeData(data);
    } catch (const std::invalid_argument& e) {  // guarded above; kept for safety
        return Fail(kExitUsage, std::string("password: ") + e.what());
    }
    if (auto reason = WriteFileAtomically(path, bytes)) return Fail(kExitIo, path + ": " + *reason);
    return kExitOk;
}

}  // namespace

namespace meru_file {
int ExportVCard(const std::string& path, const std::optional<std::string>& password);
int ImportVCard(const std::string& path, const std::optional<std::string>& password);
}  // namespace meru_file

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");

    for (auto a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            std::cout.flush();
            return std::cout ? kExitOk : kExitIo;
        }
    }

    const std::string_view command = args[0];
    std::optional<std::string> file;
    std::optional<std::string> password;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--password") {
            if (i + 1 >= args.size()) return Usage("--password needs a value");
            password = std::string(args[++i]);
        } else if (a.starts_with("--password=")) {
            password = std::string(a.substr(std::strlen("--password=")));
        } else if (a == "--") {
            if (i + 2 != args.size() || file) return Usage("exactly one FILE is expected");
            file = std::string(args[++i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + std::string(a) + "'");
        } else {
            if (file) return Usage("exactly one FILE is expected");
            file = std::string(a);
        }
    }

    if (command == "dump") {
        if (!file) return Usage("dump needs a FILE");
        return Dump(*file, password);
    }
    if (command == "build") {
        if (!file) return Usage("build needs a FILE");
        if (password) return Usage("build takes the password from the JSON \"password\" key");
        return Build(*file);
    }
    if (command == "export-vcard" || command == "import-vcard") {
        if (!file) return Usage(std::string(command) + " needs a FILE");
        return command == "export-vcard" ? meru_file::ExportVCard(*file, password)
                                         : meru_file::ImportVCard(*file, password);
    }
    return Usage("unknown command '" + std::string(command) + "'");
}
