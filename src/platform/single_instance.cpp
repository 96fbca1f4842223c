#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace meru {

namespace {
constexpr const char* kLockName = "MERU_BY_TESSALUNDE_2314";

// A folder that belongs to `uid` alone: a real folder (not a link), owned by
// it, with no access for group or others.
bool PrivateDir(const std::string& dir, unsigned uid, std::string* why = nullptr) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (why) *why = dir + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (why) *why = dir + ": not a folder (a link or a file is in its place)";
        return false;
    }
    if (st.st_uid != uid) {
        if (why) *why = dir + ": belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if (st.st_mode & 077) {
        if (why) *why = dir + ": other users have access to it";
        return false;
    }
    return true;
}

std::string DirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}
}  // namespace

CSingleInstance::~CSingleInstance() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string CSingleInstance::DisplayKey(const char* display) {
    std::string d = display && *display ? display : "";
    if (d.empty()) return "nodisplay";
    const auto colon = d.rfind(':');
    if (colon != std::string::npos) {
        std::string host = d.substr(0, colon);
        std::string number = d.substr(colon + 1);
        if (const auto dot = number.find('.'); dot != std::string::npos) number.erase(dot);
        if (host == "unix") host.clear();
        d = host + ":" + number;
    }
    for (char& c : d)
        if (c == '/') c = '_';
    return d;
}

std::string CSingleInstance::LockPath(const char* runtimeDir, const char* display, unsigned uid,
                                      const char* tmpDir) {
    const std::string file = std::string(kLockName) + "-" + DisplayKey(display) + ".lock";
    if (runtimeDir && runtimeDir[0] == '/' && PrivateDir(runtimeDir, uid))
        return std::string(runtimeDir) + "/" + file;
    const std::string tmp = tmpDir && tmpDir[0] == '/' ? tmpDir : "/tmp";
    return tmp + "/" + kLockName + "-" + std::to_string(uid) + "/" + file;
}

std::string CSingleInstance::DefaultLockPath() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) display = std::getenv("WAYLAND_DISPLAY");
    return LockPath(std::getenv("XDG_RUNTIME_DIR"), display, static_cast<unsigned>(::getuid()),
                    std::getenv("TMPDIR"));
}

CSingleInstance::Result CSingleInstance::Acquire(const std::string& path) {
    if (m_fd >= 0) return Result::Acquired;
    const unsigned uid = static_cast<unsigned>(::getuid());

    // The folder: made private if it is not there yet; in any case checked,
    // because in a shared folder somebody else may have made it first.
    const std::string dir = DirOf(path);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        m_strReason = dir + ": " + std::strerror(errno);
        return Result::Error;
    }
    if (!PrivateDir(dir, uid, &m_strReason)) return Result::Error;

    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        m_strReason = path + ": " + std::strerror(errno);
        return Result::Error;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != uid) {
        ::close(fd);
        m_strReason = path + ": not a lock file of this user";
        return Result::Error;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Result::Running;
        m_strReason = path + ": " + std::strerror(err);
        return Result::Error;
    }
    m_fd = fd;
    return Result::Acquired;
}

}  // namespace meru
