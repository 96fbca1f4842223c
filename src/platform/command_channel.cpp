#include "platform/command_channel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace meru {

namespace {

constexpr size_t kMaxLine = 256;

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsMe(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

std::string DirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// A folder of this user alone (not a link, owner us, no access for others).
bool OwnPrivateDir(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

// True when a copy holds the lock at `lockPath` (it runs, but may not listen
// yet: still starting, or a start-up dialog is open).
bool LockHeld(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool ValidShowTarget(const std::string& w) {
    for (const char* t : {"main", "notes", "clipboard", "bookmarks", "contacts"})
        if (w == t) return true;
    return false;
}

// Waits for `fd` to be readable; false on time-out.
bool WaitReadable(int fd, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return true;  // let read() report it
    }
}

}  // namespace

ParsedCommand ParseCommandSwitches(int argc, const char* const* argv) {
    ParsedCommand out;
    auto fail = [&out](std::string why) {
        out.bPresent = true;
        if (out.strError.empty()) out.strError = std::move(why);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string line;
        if (a == "--select") {
            const std::string n = i + 1 < argc ? argv[++i] : "";
            if (n.size() != 1 || n[0] < '1' || n[0] > '5') {
                fail("--select takes a number from 1 to 5");
                continue;
            }
            line = "select " + n;
        } else if (a == "--show") {
            const std::string w = i + 1 < argc ? argv[++i] : "";
            if (!ValidShowTarget(w)) {
                fail("--show takes one of main, notes, clipboard, bookmarks, contacts");
                continue;
            }
            line = "show " + w;
        } else if (a == "--exit") {
            line = "exit";
        } else {
            continue;
        }
        if (out.bPresent) {
            fail("give one command at a time (--select, --show or --exit)");
            continue;
        }
        out.bPresent = true;
        out.strLine = line;
    }
    return out;
}

std::string CommandSocketPath(const std::string& lockPath) {
    const std::string ext = ".lock";
    if (lockPath.size() > ext.size() &&
        lockPath.compare(lockPath.size() - ext.size(), ext.size(), ext) == 0)
        return lockPath.substr(0, lockPath.size() - ext.size()) + ".sock";
    return lockPath + ".sock";
}

int SendCommand(const std::string& lockPath, const std::string& line, std::FILE* err,
                int nTimeoutMs, int nExitTimeoutMs) {
    const std::string path = CommandSocketPath(lockPath);
    auto notRunning = [&]() {
        if (LockHeld(lockPath))
            std::fprintf(err,
                         "meru: MERU is running on this display but does not take commands yet "
                         "(still starting, or a dialog is open); try again\n");
        else
            std::fprintf(err, "meru: no copy of MERU is running on this display for this user\n");
        return 1;
    };
    // Only a socket in this user's private folder: never talk to a socket
    // somebody else could have put there.
    if (!OwnPrivateDir(DirOf(path))) return notRunning();
    sockaddr_un addr{};
    if (!FillAddress(path, &addr)) {
        std::fprintf(err, "meru: the command socket's path is too long: %s\n", path.c_str());
        return 1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(err, "meru: %s\n", std::strerror(errno));
        return 1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !PeerIsMe(fd)) {
        ::close(fd);
        return notRunning();
    }
    const std::string req = line + "\n";
    if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size())) {
        std::fprintf(err, "meru: the running copy did not take the command: %s\n",
                     std::strerror(errno));
        ::close(fd);
        return 1;
    }
    std::string answer;
    char buf[kMaxLine];
    while (answer.find('\n') == std::string::npos && answer.size() < kMaxLine) {
        if (!WaitReadable(fd, nTimeoutMs)) {
            std::fprintf(err, "meru: the running copy did not answer\n");
            ::close(fd);
            return 1;
        }
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    answer = answer.substr(0, answer.find('\n'));
    if (answer != "ok") {
        std::fprintf(err, "meru: %s\n",
                     answer.empty() ? "the running copy closed the connection without an answer"
                                    : answer.c_str());
        ::close(fd);
        return 1;
    }
    if (line == "exit") {
        // The connection closes when the copy has saved and ended.
        for (;;) {
            if (!WaitReadable(fd, nExitTimeoutMs)) {
                std::fprintf(err,
                             "meru: the running copy has not ended (has it shown a message?)\n");
                ::close(fd);
                return 1;
            }
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
        }
    }
    ::close(fd);
    return 0;
}

struct CCommandServer::Client {
    int fd = -1;
    std::string data;
    QSocketNotifier* notifier = nullptr;
};

CCommandServer::CCommandServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

CCommandServer::~CCommandServer() {
    for (Client* c : m_aClients) {
        delete c->notifier;
        ::close(c->fd);
        delete c;
    }
    for (int fd : m_aHeld) ::close(fd);
    if (m_fd >= 0) {
        delete m_pNotifier;
        ::close(m_fd);
        ::unlink(m_strPath.c_str());
    }
}

bool CCommandServer::Listen(const std::string& socketPath, std::string* why) {
    sockaddr_un addr{};
    if (!FillAddress(socketPath, &addr)) {
        if (why) *why = socketPath + ": path too long for a socket";
        return false;
    }
    if (!OwnPrivateDir(DirOf(socketPath))) {
        if (why) *why = DirOf(socketPath) + ": not a private folder of this user";
        return false;
    }
    // A socket left by a copy that ended without cleaning up; nobody listens
    // on it, since we hold the lock.
    struct stat st {};
    if (::lstat(socketPath.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()) {
            if (why) *why = socketPath + ": something else is in the socket's place";
            return false;
        }
        ::unlink(socketPath.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        if (why) *why = std::strerror(errno);
        return false;
    }
    const mode_t old = ::umask(0177);  // the socket: 0600
    const int rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int bindErr = errno;
    ::umask(old);
    if (rc != 0 || ::listen(fd, 8) != 0) {
        if (why) *why = socketPath + ": " + std::strerror(rc != 0 ? bindErr : errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_strPath = socketPath;
    m_pNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { OnAccept(); });
    return true;
}

void CCommandServer::OnAccept() {
    for (;;) {
        const int cfd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (cfd < 0) return;
        if (!PeerIsMe(cfd)) {  // another user: no answer at all
            ::close(cfd);
            continue;
        }
        auto* c = new Client;
        c->fd = cfd;
        c->notifier = new QSocketNotifier(cfd, QSocketNotifier::Read, this);
        connect(c->notifier, &QSocketNotifier::activated, this, [this, c] { OnReadable(c); });
        m_aClients.push_back(c);
    }
}

void CCommandServer::OnReadable(Client* c) {
    char buf[kMaxLine];
    for (;;) {
        const ssize_t n = ::read(c->fd, buf, sizeof buf);
        if (n > 0) {
            c->data.append(buf, static_cast<size_t>(n));
            if (c->data.size() > kMaxLine) return Drop(c);
            if (c->data.find('\n') != std::string::npos) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // more to come
        if (c->data.empty()) return Drop(c);                             // closed without a line
        break;
    }
    const std::string line = c->data.substr(0, c->data.find('\n'));
    const std::string answer =
        (m_handler ? m_handler(line) : std::string("error: not ready")) + "\n";
    (void)::send(c->fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    if (line == "exit" && answer == "ok\n") {
        // Held open: the sender learns the end of this copy from its close.
        m_aHeld.push_back(c->fd);
        c->fd = -1;
    }
    Drop(c);
}

void CCommandServer::Drop(Client* c) {
    std::erase(m_aClients, c);
    c->notifier->setEnabled(false);
    c->notifier->deleteLater();
    if (c->fd >= 0) ::close(c->fd);
    delete c;
}

}  // namespace meru
