#pragma once
// The I/O floor the data file's load and save are measured against: moving the
// same bytes between a file and memory with plain buffered stdio, and nothing
// else.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace meru::bench {

// The bytes of a file in a fresh buffer that is not zero-filled first.
struct FileBytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
};

// Reads the whole file into a fresh buffer, `chunk` bytes per fread.
inline FileBytes FloorRead(const std::string& path, size_t chunk) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    std::setvbuf(f, nullptr, _IOFBF, chunk);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    FileBytes out{std::unique_ptr<char[]>(new char[static_cast<size_t>(size)]), static_cast<size_t>(size)};
    size_t at = 0;
    while (at < out.size) {
        const size_t n = std::fread(out.data.get() + at, 1, std::min(chunk, out.size - at), f);
        if (n == 0) break;
        at += n;
    }
    std::fclose(f);
    if (at != out.size) throw std::runtime_error("short read of " + path);
    return out;
}

// Writes `bytes` to `path` (replacing it), `chunk` bytes per fwrite; with
// `sync`, flushed and fsynced before it is closed, as a durable save must be.
inline void FloorWrite(const std::string& path, std::string_view bytes, size_t chunk, bool sync) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    std::setvbuf(f, nullptr, _IOFBF, chunk);
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        if (std::fwrite(bytes.data() + at, 1, n, f) != n) throw std::runtime_error("write failed");
    }
    if (std::fflush(f) != 0) throw std::runtime_error("flush failed");
    if (sync && ::fsync(::fileno(f)) != 0) throw std::runtime_error("fsync failed");
    std::fclose(f);
}

}  // namespace meru::bench
