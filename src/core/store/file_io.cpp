#include "core/store/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22  // Linux 5.14; older kernels refuse it, and the file is read
#endif

namespace meru {

void FreeDeleter::operator()(char* p) const { std::free(p); }

namespace {

constexpr std::string_view kTmpMark = ".tmp.";
constexpr size_t kTmpRandom = 6;  // the XXXXXX of mkostemp

std::string Reason(int err) { return std::strerror(err); }

std::string DirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A buffer for a whole data file. A large one asks for transparent huge
// pages: where the kernel maps fresh memory 4 KB at a time slowly (virtual
// machines), faulting in the buffer costs more than reading the file.
FileBytes Allocate(size_t size) {
    constexpr size_t kHuge = size_t{2} << 20;
    void* p = nullptr;
    if (size >= 2 * kHuge) {
        const size_t cap = (size + kHuge - 1) / kHuge * kHuge;
        p = std::aligned_alloc(kHuge, cap);
#ifdef MADV_HUGEPAGE
        if (p) ::madvise(p, cap, MADV_HUGEPAGE);  // a hint only
#endif
    }
    if (!p) p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    FileBytes b;
    b.data.reset(static_cast<char*>(p));
    return b;
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + kTmpRandom || !name.starts_with(prefix)) return false;
    for (char c : name.substr(prefix.size()))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

void RemoveStaleOf(const std::string& target, uid_t owner) {
    const std::string dir = DirOf(target);
    const std::string prefix = BaseOf(target) + std::string(kTmpMark);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (!IsTemporaryName(e->d_name, prefix)) continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {
        }, again{};
        // Only a regular file made by a save of this file (ours, or already
        // given to the file's owner) that no save holds any more.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_uid == ::geteuid() || st.st_uid == owner) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &again, AT_SYMLINK_NOFOLLOW) == 0 &&
            again.st_dev == st.st_dev && again.st_ino == st.st_ino)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

}  // namespace

int WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}

ReadResult ReadWholeFile(const std::string& path) {
    ReadResult out;
    // Non-blocking, so that a FIFO at the path cannot hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        out.status = err == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
        out.reason = Reason(err);
        return out;
    }
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        // A device or a pipe has no end to check counts against (/dev/zero
        // would be read until memory runs out).
        ::close(fd);
        out.status = ReadStatus::Failed;
        out.reason = "not a regular file";
        return out;
    } else {
        size_t cap = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : size_t{1} << 16;
        FileBytes buf = Allocate(cap);
        size_t size = 0;
        for (;;) {
            if (size == cap) {  // the file grew while being read
                FileBytes bigger = Allocate(cap * 2);
                std::memcpy(bigger.data.get(), buf.data.get(), size);
                buf = std::move(bigger);
                cap *= 2;
            }
            const ssize_t n = ::read(fd, buf.data.get() + size, cap - size);
            if (n < 0) {
                if (errno == EINTR) continue;
                err = errno;
                break;
            }
            if (n == 0) break;
            size += static_cast<size_t>(n);
        }
        buf.size = size;
        out.bytes = std::move(buf);
    }
    ::close(fd);
    if (err != 0) {
        out.status = ReadStatus::Failed;
        out.reason = Reason(err);
        out.bytes = {};
    }
    return out;
}

MappedFile::~MappedFile() { Release(); }

void MappedFile::Release() {
    // The mapping goes before the lease, so that nobody changes the file
    // while it is still mapped.
    if (m_base) ::munmap(const_cast<char*>(m_base), m_size);
    if (m_fd >= 0) {
        ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
        ::close(m_fd);
    }
    m_fd = -1;
    m_base = nullptr;
    m_size = 0;
}

namespace {

// Whether the file system keeps every change to its files in this system's
// hands, so that a lease holds them: local disks and memory. On a network
// (or FUSE) file system another machine could cut the file short under the
// mapping however the lease stands.
bool LocalFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:  // ext2, ext3 and ext4
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case F2FS_SUPER_MAGIC:
        case TMPFS_MAGIC: return true;
        default: return false;
    }
}

}  // namespace

bool MappedFile::Map(const std::string& path, size_t minSize) {
    Release();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) return false;
    // The size is taken once the lease is held: from then on it stays.
    struct stat st {};
    if (!LocalFileSystem(m_fd) || ::fcntl(m_fd, F_SETSIG, SIGURG) != 0 ||
        ::fcntl(m_fd, F_SETLEASE, F_RDLCK) != 0 || ::fstat(m_fd, &st) != 0 ||
        !S_ISREG(st.st_mode) || st.st_size <= 0 || static_cast<uintmax_t>(st.st_size) < minSize) {
        Release();
        return false;
    }
    const auto size = static_cast<size_t>(st.st_size);
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (p == MAP_FAILED) {
        Release();
        return false;
    }
    m_base = static_cast<const char*>(p);
    m_size = size;
    // Every page brought in now: a failing disk is an error here, where the
    // file can still be read the usual way, not a signal later.
    if (::madvise(p, size, MADV_POPULATE_READ) != 0) {
        Release();
        return false;
    }
    return true;
}

std::optional<std::string> FollowLinks(const std::string& path, int& err) {
    std::string cur = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return cur;
        std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1);
        ssize_t n;
        for (;;) {
            n = ::readlink(cur.c_str(), buf.data(), buf.size());
            if (n < 0) {
                err = errno;
                return std::nullopt;
            }
            if (static_cast<size_t>(n) < buf.size()) break;
            buf.resize(buf.size() * 2);  // the link changed under us
        }
        const std::string to(buf.data(), static_cast<size_t>(n));
        if (to.starts_with('/')) {
            cur = to;
        } else {
            cur = DirOf(cur);
            cur += '/';
            cur += to;
        }
    }
    err = ELOOP;
    return std::nullopt;
}

void RemoveStaleTemporaries(const std::string& path) {
    int err = 0;
    const std::optional<std::string> target = FollowLinks(path, err);
    if (!target) return;
    struct stat st {};
    const uid_t owner = ::stat(target->c_str(), &st) == 0 ? st.st_uid : ::geteuid();
    RemoveStaleOf(*target, owner);
}

std::optional<std::string> WriteAtomically(const std::string& path, const FillFile& fill) {
    // Write through links to the file they name, so a link stays a link (also
    // one whose file does not exist yet).
    int err = 0;
    const std::optional<std::string> resolved = FollowLinks(path, err);
    if (!resolved) return Reason(err);
    const std::string& target = *resolved;

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) return Reason(errno);
    if (exists && !S_ISREG(old.st_mode)) return target + ": not a regular file";
    RemoveStaleOf(target, exists ? old.st_uid : ::geteuid());

    std::string tmp = target + std::string(kTmpMark) + "XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return Reason(errno);
    tmp.assign(name.data());
    // Held until the rename: tells a later start or save that this
    // temporary is still being written.
    ::flock(fd, LOCK_EX | LOCK_NB);

    auto fail = [&](int e) -> std::optional<std::string> {
        ::close(fd);
        ::unlink(tmp.c_str());
        return Reason(e);
    };

    if (exists) {
        // Keep the old file's owner and group (permitted for root, and for the
        // group when the owner belongs to it), then its permissions; a new
        // file stays private to its owner.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    }

    try {
        err = fill(fd);
    } catch (...) {  // out of memory while streaming: leave no temporary behind
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (err != 0) return fail(err);
    if (::fsync(fd) != 0) return fail(errno);
    // Renamed while still locked, so no start or save takes it for stale;
    // the data reached the disk (fsync above) before the name changes.
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);
    ::close(fd);
    // Make the rename itself durable.
    const int dfd = ::open(DirOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return std::nullopt;
}

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes) {
    return WriteAtomically(path, [&](int fd) { return WriteAll(fd, bytes); });
}

}  // namespace meru
