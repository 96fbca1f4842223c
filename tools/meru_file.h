#pragma once
// What the commands of meru-file share: exit codes, messages and the
// arguments every data file command takes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/datafile.h"
#include "core/store/meru_data.h"

namespace meru::tool {

enum Exit : int {
    kExitOk = 0,
    kExitUsage = 1,    // usage error, bad JSON input, password not representable
    kExitNotOurs = 2,  // not a data file of this format (tag, version, damage)
    kExitLocked = 3,   // password missing or wrong
    kExitIo = 4,       // the system refused to read or write
};

// "meru-file: <what>" on standard error; returns `code`.
int Fail(int code, std::string_view what);
// A usage error: the message, a hint to --help; returns kExitUsage.
int Usage(std::string_view what);

// The arguments after the command: one FILE and an optional --password PW
// (or --password=PW); "--" ends the options.
struct FileArgs {
    std::string strFile;
    std::optional<std::string> password;
};
// Parses `args`; on a usage error prints it and returns nothing.
std::optional<FileArgs> ParseFileArgs(std::string_view command,
                                      const std::vector<std::string_view>& args);

// Loads the data file `path` into `data`, asking with `password` when it is
// protected: kExitOk, or the exit code after saying why on standard error.
// `pOut`, when given, receives the outcome (format version, password state).
int LoadDataFile(const std::string& path, const std::optional<std::string>& password,
                 CMeruData& data, LoadOutcome* pOut = nullptr);

// A command: gets the arguments after its name, returns the exit code.
using CommandFn = int (*)(const std::vector<std::string_view>& args);

// The commands (each defined in a file of its own).
int CmdDump(const std::vector<std::string_view>& args);
int CmdBuild(const std::vector<std::string_view>& args);
int CmdExportBookmarks(const std::vector<std::string_view>& args);
int CmdImportBookmarks(const std::vector<std::string_view>& args);
int CmdExportVCard(const std::vector<std::string_view>& args);
int CmdImportVCard(const std::vector<std::string_view>& args);

}  // namespace meru::tool
