#pragma once
// A data file's content as JSON, in the shape `meru-file dump` prints and
// `meru-file build` reads.
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "core/store/meru_data.h"

namespace meru::tool {

// Nesting deeper than this is refused while parsing (the shape needs 4).
inline constexpr int kMaxJsonDepth = 32;

// Malformed JSON, or JSON of the wrong shape; what() says where.
struct JsonInputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The data the JSON text describes. Throws JsonInputError (never anything
// else for any input, short of running out of memory).
CMeruData ParseDataJson(std::string_view text);

// Writes `data` as JSON to `out` as it goes (nothing is built in memory
// first). `version`: the format version read. `passwordKnown`: the password
// is printed, else "". Returns false on a write error (errno tells).
bool WriteDataJson(std::FILE* out, const CMeruData& data, int version, bool passwordKnown);

}  // namespace meru::tool
