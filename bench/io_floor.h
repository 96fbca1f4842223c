#pragma once
// The I/O floor the data file's load and save are measured against: moving the
// same bytes between a file and memory with plain buffered stdio, and nothing
// else.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    FileBytes out{std::unique_ptr<char[]>(new char[static_cast<size_t>(size)]),
                  static_cast<size_t>(size)};
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

// The same read into a buffer backed by transparent huge pages, as the data
// file's load uses for large files: the floor without the cost of faulting in
// fresh memory 4 KB at a time.
struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
inline std::unique_ptr<char, FreeDeleter> FloorReadHuge(const std::string& path, size_t chunk) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    std::setvbuf(f, nullptr, _IOFBF, chunk);
    std::fseek(f, 0, SEEK_END);
    const size_t size = static_cast<size_t>(std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    constexpr size_t kHuge = size_t{2} << 20;
    const size_t cap = (size + kHuge - 1) / kHuge * kHuge;
    std::unique_ptr<char, FreeDeleter> buf(static_cast<char*>(std::aligned_alloc(kHuge, cap)));
    if (!buf) throw std::runtime_error("out of memory");
    ::madvise(buf.get(), cap, MADV_HUGEPAGE);
    size_t at = 0;
    while (at < size) {
        const size_t n = std::fread(buf.get() + at, 1, std::min(chunk, size - at), f);
        if (n == 0) break;
        at += n;
    }
    std::fclose(f);
    if (at != size) throw std::runtime_error("short read of " + path);
    return buf;
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
