#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace meru {

// What `meru --help` prints.
std::string UsageText();

// What `meru --version` prints: the program's version text and a line feed.
std::string VersionText();

// `--help` and `--version` anywhere on the command line print their text to
// `out` and give the exit code; any other argument leaves the start alone
// (empty result). They are looked at before anything else happens, so they
// work without a display and while another copy runs.
std::optional<int> HandleInfoOptions(int argc, const char* const* argv, std::FILE* out);

}  // namespace meru
