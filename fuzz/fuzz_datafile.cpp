// Feeds arbitrary bytes to the data file reader. Whatever loads must survive a
// save and a second load unchanged: the data read back equal the data first
// read, and saving them again gives the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_password.h"
#include "core/store/datafile.h"

using namespace meru;

namespace {

std::optional<std::string> TypePassword() { return std::string(MERU_FUZZ_PASSWORD); }

[[noreturn]] void Mismatch(const char* what) {
    std::fprintf(stderr, "round trip mismatch: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    CMeruData first;
    const LoadOutcome out = ReadData(bytes, first, TypePassword);
    if (out.status != LoadStatus::Loaded) return 0;
    // A locked file keeps its texts as stored (scrambled); the program never
    // saves those, so there is nothing to round-trip.
    if (out.password == PasswordState::Wrong || out.password == PasswordState::Cancelled) return 0;

    const std::string saved = SerializeData(first);
    CMeruData second;
    const LoadOutcome again = ReadData(saved, second, TypePassword);
    if (again.status != LoadStatus::Loaded) Mismatch("saved file does not load");
    if (again.version != kFormatVersion) Mismatch("saved file is not version 22");
    if (again.password != out.password) Mismatch("password state differs");
    if (!(second == first)) Mismatch("data differ after save and load");
    if (SerializeData(second) != saved) Mismatch("second save gives other bytes");
    return 0;
}
