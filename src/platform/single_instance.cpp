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

bool UsableDir(const char* dir) {
    if (!dir || !*dir || dir[0] != '/') return false;
    struct stat st{};
    return ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK | X_OK) == 0;
}
}  // namespace

CSingleInstance::~CSingleInstance() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string CSingleInstance::LockPath(const char* runtimeDir, const char* display, unsigned uid) {
    std::string disp = display && *display ? display : "nodisplay";
    for (char& c : disp)
        if (c == '/') c = '_';
    if (UsableDir(runtimeDir))
        return std::string(runtimeDir) + "/" + kLockName + "-" + disp + ".lock";
    return std::string("/tmp/") + kLockName + "-" + std::to_string(uid) + "-" + disp + ".lock";
}

std::string CSingleInstance::DefaultLockPath() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) display = std::getenv("WAYLAND_DISPLAY");
    return LockPath(std::getenv("XDG_RUNTIME_DIR"), display, static_cast<unsigned>(::getuid()));
}

CSingleInstance::Result CSingleInstance::Acquire(const std::string& path) {
    if (m_fd >= 0) return Result::Acquired;
    // O_NOFOLLOW: in /tmp somebody else could have planted a link by that name.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_strReason = path + ": " + std::strerror(errno);
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
