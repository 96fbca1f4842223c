#include "app/usage.h"

#include <cstring>

#ifndef MERU_VERSION
#error "MERU_VERSION comes from the project version (src/app/CMakeLists.txt)"
#endif

namespace meru {

std::string UsageText() {
    return "Usage: meru [FILE]\n"
           "       meru --select N | --show WINDOW | --exit\n"
           "       meru --help | --version\n"
           "\n"
           "MERU keeps notes, a history of copied texts (Ctrl+1 to Ctrl+5 bring one\n"
           "back), bookmarks and contacts, and lives in the notification area.\n"
           "\n"
           "FILE is the data file, used as given. Without it MERU uses meru.mer in\n"
           "the current folder; started from the application menu or at login,\n"
           "that is your home folder. The file is read at start-up and written at\n"
           "Exit, at the end of the desktop session and on SIGTERM, SIGHUP and SIGINT.\n"
           "\n"
           "  --help      print this help and end\n"
           "  --version   print the version and end\n"
           "\n"
           "Commands to the copy that runs on this display (for the desktop's own\n"
           "shortcut settings, where MERU cannot take Ctrl+1..5 itself, as under\n"
           "Wayland); they end with a message and exit code 1 when no copy runs:\n"
           "  --select N      N = 1..5: put clipboard entry N back, like Ctrl+N\n"
           "  --show WINDOW   main, notes, clipboard, bookmarks or contacts\n"
           "  --exit          save and end, like Exit\n"
           "\n"
           "Other arguments that begin with \"-\" are switches, which MERU ignores\n"
           "(-Embedding and -Automation included); Qt's own options such as\n"
           "-display work. One copy runs per user and display: a second start\n"
           "ends at once and changes nothing.\n"
           "\n"
           "See meru(1) and meru-file(1).\n";
}

std::string VersionText() { return "MERU version " MERU_VERSION "\n"; }

std::optional<int> HandleInfoOptions(int argc, const char* const* argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        std::string text;
        if (std::strcmp(argv[i], "--help") == 0)
            text = UsageText();
        else if (std::strcmp(argv[i], "--version") == 0)
            text = VersionText();
        else
            continue;
        // A closed or full standard output is a failure, not a silent success.
        const bool ok =
            std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
        return ok ? 0 : 1;
    }
    return std::nullopt;
}

}  // namespace meru
