#pragma once
#include <string>

namespace meru {

// One copy of the organiser per user and X display: an exclusive flock on a
// lock file named after "MERU_BY_TESSALUNDE_2314" and the display. The lock is
// held for the life of the process and dies with it (also on SIGKILL).
class CSingleInstance {
public:
    enum class Result {
        Acquired,   // this process is the only copy
        Running,    // another copy holds the lock
        Error,      // the lock file could not be opened (the reason says why)
    };

    CSingleInstance() = default;
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock at `path` without waiting.
    Result Acquire(const std::string& path);
    const std::string& Reason() const { return m_strReason; }

    // The lock file for this user and display: $XDG_RUNTIME_DIR/NAME-DISPLAY.lock
    // when that folder is set and usable, else /tmp/NAME-UID-DISPLAY.lock.
    // `display` is the value of $DISPLAY (or $WAYLAND_DISPLAY); '/' is replaced.
    static std::string LockPath(const char* runtimeDir, const char* display, unsigned uid);
    // LockPath from the environment of this process.
    static std::string DefaultLockPath();

private:
    int m_fd = -1;
    std::string m_strReason;
};

}  // namespace meru
