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

// Told of a file's bytes as they arrive, so that work on them can start
// while the rest is still being read. Called on the reading thread.
class ReadObserver {
public:
    virtual ~ReadObserver() = default;
    // The buffer the file is read into, and the file's size when it opened.
    virtual void Started(const char* base, size_t expected) = 0;
    // The first `size` bytes at `base` are in; they stay put until Moving().
    virtual void Arrived(size_t size) = 0;
    // The file grew past its buffer, which is about to move: stop using it.
    virtual void Moving() = 0;
};

// Reads the whole regular file at `path`. A device or a pipe is refused: it
// has no end to check counts against, and a FIFO must not hang the caller.
// With an observer the file is read in steps, each reported as it lands.
ReadResult ReadWholeFile(const std::string& path, ReadObserver* observer = nullptr);

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
