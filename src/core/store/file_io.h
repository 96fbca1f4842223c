#pragma once
// Files as the data file needs them: read whole, written atomically, links
// followed, leftovers of killed saves cleared. Knows nothing of the format.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace meru {

struct FreeDeleter {
    void operator()(char* p) const;
};

// The bytes of a whole file in a buffer of their own.
struct FileBytes {
    std::unique_ptr<char, FreeDeleter> data;
    size_t size = 0;
    std::string_view View() const { return {data.get(), size}; }
};

enum class ReadStatus {
    Ok,
    Missing,  // nothing at the path (or a link to nothing)
    Failed,   // exists but cannot be read, or is not a regular file
};

struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    FileBytes bytes;
    std::string reason;  // the system's reason when it failed
};

// Reads the whole regular file at `path`. A device or a pipe is refused: it
// has no end to check counts against, and a FIFO must not hang the caller.
ReadResult ReadWholeFile(const std::string& path);

// A large regular file mapped straight from the system's file cache instead
// of copied into fresh memory, which costs more than the read itself.
//
// It is mapped only while nobody can change it, since a file cut short under
// a mapping ends the reader with SIGBUS: a read lease makes any program that
// opens the file for writing, or truncates it, wait until the mapping is gone
// (for up to the system's lease-break time, 45 s by default). The lease's
// break notice is SIGURG, which a process ignores unless it handles it. Only
// files on local disks and in memory are mapped: on a network file system
// another machine could change the file whatever the lease.
//
// Where no lease can be had (another user's file, a file open for writing
// elsewhere), the file system is not local, or the file cannot be brought in
// whole, Map fails and the caller reads the file instead.
class MappedFile {
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // Maps the file at `path` if it is a regular file of at least `minSize`
    // bytes; false (nothing held) otherwise.
    bool Map(const std::string& path, size_t minSize);
    std::string_view View() const { return {m_base, m_size}; }

private:
    void Release();

    int m_fd = -1;
    const char* m_base = nullptr;
    size_t m_size = 0;
};

// The file a path names after following every symbolic link, also when the
// last link points at nothing yet: the save writes there and the links stay.
// Nothing (errno in `err`) when the links loop.
std::optional<std::string> FollowLinks(const std::string& path, int& err);

// Writes a file atomically: a temporary "<target>.tmp.XXXXXX" beside the file
// the path names (links followed), locked while it is written, filled by
// `fill` (0 or the errno of its failure), flushed to disk and renamed over the
// old file, whose permissions, owner and group it keeps where permitted.
// A target that exists and is not a regular file is never replaced. Stale
// temporaries of the same file are removed first. Empty result on success,
// else the reason.
using FillFile = std::function<int(int fd)>;
std::optional<std::string> WriteAtomically(const std::string& path, const FillFile& fill);
std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes);

// Removes the temporaries that killed saves of the file at `path` left
// behind; a temporary a running save still writes (it holds the lock) stays.
void RemoveStaleTemporaries(const std::string& path);

// Writes all of `bytes` to `fd`: 0, or the errno of the failure.
int WriteAll(int fd, std::string_view bytes);

}  // namespace meru
