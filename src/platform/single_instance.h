#pragma once
#include <string>

namespace meru {

// One copy of the organiser per user and X display: an exclusive flock on a
// lock file named after "MERU_BY_TESSALUNDE_2314" and the display, in a
// folder only this user can write. The lock is held for the life of the
// process and dies with it (also on SIGKILL).
class CSingleInstance {
public:
    enum class Result {
        Acquired,  // this process is the only copy
        Running,   // another copy holds the lock
        Error,     // the lock cannot be had safely (the reason says why)
    };

    CSingleInstance() = default;
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock at `path` without waiting. The lock file must be a
    // regular file of this user (links are never followed); the folder
    // holding it must be this user's and private (mode 0700, checked with
    // lstat), and is made so when it does not exist yet.
    Result Acquire(const std::string& path);
    const std::string& Reason() const { return m_strReason; }

    // The display as the lock knows it: ":160", ":160.0" and "unix:160" are
    // one display (the screen number and the "unix" host are dropped).
    static std::string DisplayKey(const char* display);

    // The lock file for this user and display:
    //   $XDG_RUNTIME_DIR/NAME-DISPLAY.lock when that folder is set and is
    //   this user's private folder, else TMP/NAME-UID/NAME-DISPLAY.lock with
    //   TMP = $TMPDIR (absolute) or /tmp.
    // `display` is the value of $DISPLAY (or $WAYLAND_DISPLAY); '/' is replaced.
    static std::string LockPath(const char* runtimeDir, const char* display, unsigned uid,
                                const char* tmpDir = nullptr);
    // LockPath from the environment of this process.
    static std::string DefaultLockPath();

private:
    int m_fd = -1;
    std::string m_strReason;
};

}  // namespace meru
