// dump and build: a data file to JSON and back.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "core/store/datafile.h"
#include "core/text/text_codec.h"
#include "data_json.h"
#include "meru_file.h"

namespace meru::tool {

int LoadDataFile(const std::string& path, const std::optional<std::string>& password,
                 CMeruData& data, LoadOutcome* pOut) {
    CDataFile file(path);
    const LoadOutcome out = file.LoadData(data, [&] { return password; });
    if (pOut) *pOut = out;
    switch (out.status) {
        case LoadStatus::Loaded: break;
        case LoadStatus::NoFile: return Fail(kExitIo, path + ": " + std::strerror(ENOENT));
        case LoadStatus::CannotOpen: return Fail(kExitIo, path + ": " + out.reason);
        case LoadStatus::BadTag:
        case LoadStatus::BadVersion:
        case LoadStatus::ReadError: return Fail(kExitNotOurs, path + ": " + out.message);
    }
    if (out.password == PasswordState::Wrong || out.password == PasswordState::Cancelled)
        return Fail(kExitLocked, path + ": " + out.message);
    return kExitOk;
}

int CmdDump(const std::vector<std::string_view>& args) {
    const std::optional<FileArgs> a = ParseFileArgs("dump", args);
    if (!a) return kExitUsage;
    CMeruData data;
    LoadOutcome out;
    if (const int rc = LoadDataFile(a->strFile, a->password, data, &out); rc != kExitOk) return rc;

    // Written as it goes: the memory stays that of the loaded data.
    if (!WriteDataJson(stdout, data, out.version, out.password == PasswordState::Accepted))
        return Fail(kExitIo, std::string("standard output: ") + std::strerror(errno));
    return kExitOk;
}

int CmdBuild(const std::vector<std::string_view>& args) {
    const std::optional<FileArgs> a = ParseFileArgs("build", args);
    if (!a) return kExitUsage;
    if (a->password) return Usage("build takes the password from the JSON \"password\" key");
    const std::string& path = a->strFile;

    std::string input(std::istreambuf_iterator<char>(std::cin), {});
    if (std::cin.bad())
        return Fail(kExitIo, std::string("standard input: ") + std::strerror(errno));

    CMeruData data;
    try {
        data = ParseDataJson(input);
    } catch (const JsonInputError& e) {
        return Fail(kExitUsage, e.what());
    }
    input = std::string();

    if (!Utf8ToCp1252(data.m_strPassword))
        return Fail(kExitUsage,
                    "password: it has characters outside Windows-1252, which the data file "
                    "cannot use as a key");

    const std::string bytes = SerializeData(data);
    if (auto reason = WriteFileAtomically(path, bytes)) return Fail(kExitIo, path + ": " + *reason);
    return kExitOk;
}

}  // namespace meru::tool
