#include "platform/signal_pipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace meru {

namespace {
int g_fds[2] = {-1, -1};

extern "C" void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    // A full socket only loses a repeated signal: the first one is waiting.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[1], &b, 1);
    errno = saved;
}
}  // namespace

bool CSignalPipe::Install(std::initializer_list<int> signalList) {
    if (g_fds[0] < 0) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
            return false;
        g_fds[0] = fds[0];
        g_fds[1] = fds[1];
    }
    for (int sig : signalList) {
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(sig, &sa, nullptr);
    }
    return true;
}

int CSignalPipe::ReadFd() { return g_fds[0]; }

int CSignalPipe::Take() {
    if (g_fds[0] < 0) return 0;
    unsigned char b = 0;
    for (;;) {
        const ssize_t n = ::read(g_fds[0], &b, 1);
        if (n == 1) return b;
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

}  // namespace meru
