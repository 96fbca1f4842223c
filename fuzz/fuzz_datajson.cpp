// Feeds arbitrary text to meru-file build's JSON reader. Any input either is
// refused with JsonInputError or gives data that survive the whole way:
// written as JSON by dump and read back equal, and saved as a data file and
// loaded back equal. Anything else thrown, a crash or a sanitizer report is
// a fault.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/store/datafile.h"
#include "core/text/text_codec.h"
#include "data_json.h"

using namespace meru;

namespace {

[[noreturn]] void Mismatch(const char* what) {
    std::fprintf(stderr, "round trip mismatch: %s\n", what);
    std::abort();
}

std::string Dumped(const CMeruData& d) {
    char* buf = nullptr;
    size_t len = 0;
    std::FILE* f = open_memstream(&buf, &len);
    if (!f) std::abort();
    if (!tool::WriteDataJson(f, d, kFormatVersion, true)) Mismatch("dump failed");
    std::fclose(f);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CMeruData first;
    try {
        first = tool::ParseDataJson(text);
    } catch (const tool::JsonInputError&) {
        return 0;
    }

    CMeruData again;
    try {
        again = tool::ParseDataJson(Dumped(first));
    } catch (const tool::JsonInputError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Mismatch("the dump of accepted data is refused");
    }
    if (!(again == first)) Mismatch("data differ after dump and build");

    if (!Utf8ToCp1252(first.m_strPassword)) return 0;  // build refuses such a password
    const std::string bytes = SerializeData(first);
    CMeruData loaded;
    const std::string password = first.m_strPassword;
    const LoadOutcome out =
        ReadData(bytes, loaded, [&] { return std::optional<std::string>(password); });
    if (out.status != LoadStatus::Loaded) Mismatch("built file does not load");
    if (!(loaded == first)) Mismatch("data differ after build and load");
    return 0;
}
