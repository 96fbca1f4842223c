// meru-file: dumps a MERU data file as JSON and builds one from JSON, for
// backups, scripting and migration.

#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "meru_file.h"

namespace meru::tool {
namespace {

// The commands; adding one is one line here (and its help text below).
struct Command {
    std::string_view name;
    CommandFn run;
};
constexpr Command kCommands[] = {
    {"dump", CmdDump},
    {"build", CmdBuild},
    {"export-bookmarks", CmdExportBookmarks},
    {"import-bookmarks", CmdImportBookmarks},
    {"export-vcard", CmdExportVCard},
    {"import-vcard", CmdImportVCard},
};

constexpr std::string_view kHelp = R"(Usage:
  meru-file dump FILE [--password PW]
  meru-file build FILE < data.json
  meru-file export-bookmarks FILE [--password PW] > bookmarks.html
  meru-file import-bookmarks FILE GROUP [--password PW] < bookmarks.html
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
export-bookmarks  Prints the twenty bookmark groups as a bookmark file that
       browsers import (one folder per group).
import-bookmarks  Adds the links of a browser's bookmark file, read from
       standard input, to group GROUP (1 to 20), skipping addresses already
       in the group; writes FILE atomically, as build does. A file that is
       not a bookmark file, or is damaged, changes nothing (exit status 1).
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
     the offending element; numbers out of range and nesting deeper than 32
     levels are invalid); a password outside Windows-1252. Nothing is
     written.
  2  FILE is not a MERU data file of a known format (wrong tag, wrong
     version, truncated or damaged)
  3  FILE has a password and none or a wrong one was given
  4  input/output error (FILE missing or unreadable, cannot be written, or
     FILE exists and is not a regular file: build never replaces a device,
     a pipe or a folder; a symbolic link is written through to its file)

Note: a password given on the command line can be seen by other users of
the machine in the process list.
)";

}  // namespace

int Fail(int code, std::string_view what) {
    std::cerr << "meru-file: " << what << '\n';
    return code;
}

int Usage(std::string_view what) {
    std::cerr << "meru-file: " << what << "\nTry 'meru-file --help' for more information.\n";
    return kExitUsage;
}

std::optional<FileArgs> ParseFileArgs(std::string_view command,
                                      const std::vector<std::string_view>& args) {
    FileArgs out;
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--password") {
            if (i + 1 >= args.size()) return Usage("--password needs a value"), std::nullopt;
            out.password = std::string(args[++i]);
        } else if (a.starts_with("--password=")) {
            out.password = std::string(a.substr(std::strlen("--password=")));
        } else if (a == "--") {
            if (i + 2 != args.size() || haveFile)
                return Usage("exactly one FILE is expected"), std::nullopt;
            out.strFile = std::string(args[++i]);
            haveFile = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + std::string(a) + "'"), std::nullopt;
        } else {
            if (haveFile) return Usage("exactly one FILE is expected"), std::nullopt;
            out.strFile = std::string(a);
            haveFile = true;
        }
    }
    if (!haveFile) return Usage(std::string(command) + " needs a FILE"), std::nullopt;
    return out;
}

}  // namespace meru::tool

int main(int argc, char** argv) {
    using namespace meru::tool;
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
    args.erase(args.begin());
    for (const Command& c : kCommands)
        if (c.name == command) return c.run(args);
    return Usage("unknown command '" + std::string(command) + "'");
}
