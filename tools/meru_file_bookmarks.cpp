// meru-file export-bookmarks / import-bookmarks: the twenty bookmark groups
// of a data file as a bookmark file every browser reads, and the links of
// such a file into one group.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bookmarks/bookmark_html.h"
#include "core/store/datafile.h"
#include "core/store/meru_data.h"
#include "meru_file.h"

namespace meru_file {

namespace {

using namespace meru;

using namespace meru::tool;

// Loads FILE; on failure returns the exit status.
std::optional<int> Load(const std::string& path, const std::optional<std::string>& password,
                        CMeruData& data) {
    const int rc = LoadDataFile(path, password, data);
    return rc == kExitOk ? std::nullopt : std::optional<int>(rc);
}

int Export(const std::string& path, const std::optional<std::string>& password) {
    CMeruData data;
    if (auto rc = Load(path, password, data)) return *rc;
    const std::string html = ExportBookmarksHtml(data.m_aGroups);
    std::fwrite(html.data(), 1, html.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(kExitIo, std::string("standard output: ") + std::strerror(errno));
    return kExitOk;
}

int Import(const std::string& path, int group, const std::optional<std::string>& password) {
    std::string html(std::istreambuf_iterator<char>(std::cin), {});
    if (std::cin.bad())
        return Fail(kExitIo, std::string("standard input: ") + std::strerror(errno));
    const ParsedBookmarks parsed = ParseBookmarksHtml(html);
    if (!parsed.ok) return Fail(kExitUsage, "standard input: " + parsed.error);

    CMeruData data;
    if (auto rc = Load(path, password, data)) return *rc;
    const ImportCount count =
        MergeBookmarks(data.m_aGroups[static_cast<size_t>(group - 1)], parsed.links);
    if (count.added > 0) {
        if (auto reason = WriteFileAtomically(path, SerializeData(data)))
            return Fail(kExitIo, path + ": " + *reason);
    }
    std::cout << ImportSummary(count) << '\n';
    return kExitOk;
}

}  // namespace

// Runs `args` (the command and its arguments) when the command is one of
// ours; -1 when it is not.
int RunBookmarksCommand(const std::vector<std::string_view>& args) {
    if (args.empty()) return -1;
    const std::string_view command = args[0];
    const bool isExport = command == "export-bookmarks";
    if (!isExport && command != "import-bookmarks") return -1;

    std::vector<std::string> positional;
    std::optional<std::string> password;
    bool onlyPositional = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (!onlyPositional && a == "--password") {
            if (i + 1 >= args.size()) return Usage("--password needs a value");
            password = std::string(args[++i]);
        } else if (!onlyPositional && a.starts_with("--password=")) {
            password = std::string(a.substr(std::strlen("--password=")));
        } else if (!onlyPositional && a == "--") {
            onlyPositional = true;
        } else if (!onlyPositional && a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + std::string(a) + "'");
        } else {
            positional.emplace_back(a);
        }
    }
    if (isExport) {
        if (positional.size() != 1) return Usage("export-bookmarks needs exactly one FILE");
        return Export(positional[0], password);
    }
    if (positional.size() != 2) return Usage("import-bookmarks needs a FILE and a GROUP (1 to 20)");
    int group = 0;
    const std::string& g = positional[1];
    if (g.empty() || g.size() > 2 || g.find_first_not_of("0123456789") != std::string::npos ||
        (group = std::stoi(g)) < 1 || group > kGroupCount)
        return Usage("GROUP must be a number from 1 to 20, not '" + g + "'");
    return Import(positional[0], group, password);
}

}  // namespace meru_file

namespace meru::tool {

namespace {
int WithCommand(std::string_view command, const std::vector<std::string_view>& args) {
    std::vector<std::string_view> all{command};
    all.insert(all.end(), args.begin(), args.end());
    return meru_file::RunBookmarksCommand(all);
}
}  // namespace

int CmdExportBookmarks(const std::vector<std::string_view>& args) {
    return WithCommand("export-bookmarks", args);
}
int CmdImportBookmarks(const std::vector<std::string_view>& args) {
    return WithCommand("import-bookmarks", args);
}

}  // namespace meru::tool
