// The real transport: non-blocking POSIX sockets, every wait a poll() on the
// socket and a cancel eventfd, TLS through OpenSSL (loaded on the first
// TLS connection).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/mail/smtp_transport.h"
#include "core/mail/tls_library.h"

namespace meru {

namespace {

using Clock = std::chrono::steady_clock;

std::string OpenSslErrors(const TlsLibrary& tls) {
    std::string s;
    while (unsigned long e = tls.pERR_get_error()) {
        char buf[256];
        tls.pERR_error_string_n(e, buf, sizeof buf);
        if (!s.empty()) s += "; ";
        s += buf;
    }
    return s;
}

// getaddrinfo cannot be interrupted; it runs on a thread of its own that
// outlives a caller that gave up (time-out or Cancel).
struct Lookup {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    int rc = 0;
    addrinfo* result = nullptr;
    bool abandoned = false;
};

class CPosixTransport final : public ISmtpTransport {
public:
    explicit CPosixTransport(PosixTransportOptions options) : m_options(std::move(options)) {
        m_cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    ~CPosixTransport() override {
        Close();
        if (m_cancelFd >= 0) close(m_cancelFd);
    }

    TransportStatus Connect(const std::string& host, uint16_t port, Duration timeout) override {
        Close();
        const auto deadline = Clock::now() + timeout;
        addrinfo* list = nullptr;
        TransportStatus st = Resolve(host, port, deadline, &list);
        if (st != TransportStatus::Ok) return st;
        std::string errors;
        for (addrinfo* ai = list; ai; ai = ai->ai_next) {
            st = ConnectOne(ai, deadline);
            if (st == TransportStatus::Ok || st == TransportStatus::Cancelled) break;
            if (!errors.empty()) errors += "; ";
            errors += NumericHost(ai->ai_addr, ai->ai_addrlen) + ": " + m_strError;
            if (Clock::now() >= deadline) break;
        }
        freeaddrinfo(list);
        if (st != TransportStatus::Ok && st != TransportStatus::Cancelled) {
            m_strError = "cannot connect to " + host + " (" + errors + ")";
            if (st == TransportStatus::TimedOut)
                m_strError = "no connection to " + host + " within the time-out (" + errors + ")";
        }
        return st;
    }

    TransportStatus Write(std::string_view bytes, Duration timeout) override {
        if (m_fd < 0) return Fail("not connected", 0);
        while (!bytes.empty()) {
            if (Cancelled()) return TransportStatus::Cancelled;
            ssize_t n;
            if (m_ssl) {
                m_tls->pERR_clear_error();
                errno = 0;
                const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
                const int r = m_tls->pSSL_write(m_ssl, bytes.data(), chunk);
                if (r <= 0) {
                    const TransportStatus w = WaitSsl(r, Clock::now() + timeout, "sending");
                    if (w != TransportStatus::Ok) return w;
                    continue;
                }
                n = r;
            } else {
                n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                if (n < 0) {
                    const TransportStatus w = AfterSendError(timeout);
                    if (w != TransportStatus::Ok) return w;
                    continue;
                }
            }
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return TransportStatus::Ok;
    }

    TransportStatus Read(std::string* pOut, size_t cap, Duration timeout) override {
        pOut->clear();
        if (m_fd < 0) return Fail("not connected", 0);
        if (cap == 0) return TransportStatus::Ok;
        pOut->resize(cap);
        const auto deadline = Clock::now() + timeout;
        while (true) {
            if (Cancelled()) {
                pOut->clear();
                return TransportStatus::Cancelled;
            }
            if (m_ssl) {
                m_tls->pERR_clear_error();
                errno = 0;
                const int r = m_tls->pSSL_read(m_ssl, pOut->data(),
                                               static_cast<int>(std::min<size_t>(cap, 1 << 20)));
                if (r > 0) {
                    pOut->resize(static_cast<size_t>(r));
                    return TransportStatus::Ok;
                }
                const int e = m_tls->pSSL_get_error(m_ssl, r);
                if (e == SSL_ERROR_ZERO_RETURN ||
                    (e == SSL_ERROR_SYSCALL && m_tls->pERR_peek_error() == 0 &&
                     (r == 0 || errno == 0))) {
                    pOut->clear();
                    return TransportStatus::Closed;
                }
                const TransportStatus w = WaitSsl(r, deadline, "waiting for the server's reply");
                if (w != TransportStatus::Ok) {
                    pOut->clear();
                    return w;
                }
            } else {
                const ssize_t n = recv(m_fd, pOut->data(), cap, 0);
                if (n > 0) {
                    pOut->resize(static_cast<size_t>(n));
                    return TransportStatus::Ok;
                }
                if (n == 0) {
                    pOut->clear();
                    return TransportStatus::Closed;
                }
                if (errno == EINTR) continue;
                if (errno == ECONNRESET) {
                    // A server that closes with our bytes unread resets the
                    // connection; for us it is closed all the same.
                    pOut->clear();
                    m_strError = "the server closed the connection (reset)";
                    return TransportStatus::Closed;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    pOut->clear();
                    return Fail(std::string("receive: ") + std::strerror(errno), errno);
                }
                const TransportStatus w = Wait(POLLIN, deadline, "waiting for the server's reply");
                if (w != TransportStatus::Ok) {
                    pOut->clear();
                    return w;
                }
            }
        }
    }

    TransportStatus StartTls(const std::string& host, Duration timeout) override {
        if (m_fd < 0) return Fail("not connected", 0);
        if (!m_tls) {
            std::string why;
            m_tls = LoadTlsLibrary(m_options.m_strTlsLibrary.empty()
                                       ? std::string(DefaultTlsLibraryName())
                                       : m_options.m_strTlsLibrary,
                                   &why);
            if (!m_tls) return Fail(why, 0);
        }
        m_tls->pERR_clear_error();
        m_ctx = m_tls->pSSL_CTX_new(m_tls->pTLS_client_method());
        if (!m_ctx) return Fail("TLS: " + OpenSslErrors(*m_tls), 0);
        m_tls->pSSL_CTX_ctrl(m_ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
        m_tls->pSSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
        if (m_tls->pSSL_CTX_set_default_verify_paths(m_ctx) != 1)
            return Fail("TLS: no trusted certificates: " + OpenSslErrors(*m_tls), 0);
        if (!m_options.m_strCaFile.empty() &&
            m_tls->pSSL_CTX_load_verify_locations(m_ctx, m_options.m_strCaFile.c_str(), nullptr) !=
                1)
            return Fail("TLS: cannot read the certificates of " + m_options.m_strCaFile + ": " +
                            OpenSslErrors(*m_tls),
                        0);
        m_ssl = m_tls->pSSL_new(m_ctx);
        if (!m_ssl) return Fail("TLS: " + OpenSslErrors(*m_tls), 0);
        m_tls->pSSL_set_fd(m_ssl, m_fd);
        X509_VERIFY_PARAM* param = m_tls->pSSL_get0_param(m_ssl);
        in6_addr a6;
        in_addr a4;
        const bool isIp = inet_pton(AF_INET, host.c_str(), &a4) == 1 ||
                          inet_pton(AF_INET6, host.c_str(), &a6) == 1;
        if (isIp) {
            m_tls->pX509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            m_tls->pX509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            m_tls->pX509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
            m_tls->pSSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                             const_cast<char*>(host.c_str()));
        }
        const auto deadline = Clock::now() + timeout;
        while (true) {
            if (Cancelled()) return TransportStatus::Cancelled;
            m_tls->pERR_clear_error();
            errno = 0;
            const int r = m_tls->pSSL_connect(m_ssl);
            if (r == 1) return TransportStatus::Ok;
            const long verify = m_tls->pSSL_get_verify_result(m_ssl);
            if (verify != X509_V_OK) {
                return Fail(std::string("the server's certificate is not trusted: ") +
                                m_tls->pX509_verify_cert_error_string(verify),
                            0);
            }
            const TransportStatus w = WaitSsl(r, deadline, "the TLS handshake");
            if (w != TransportStatus::Ok) {
                if (w == TransportStatus::Failed || w == TransportStatus::Closed) {
                    m_strError = "TLS handshake failed: " + m_strError;
                    return TransportStatus::Failed;
                }
                return w;
            }
        }
    }

    bool IsTls() const override { return m_ssl != nullptr; }

    void Close() override {
        if (m_ssl) {
            m_tls->pSSL_free(m_ssl);
            m_ssl = nullptr;
        }
        if (m_ctx) {
            m_tls->pSSL_CTX_free(m_ctx);
            m_ctx = nullptr;
        }
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

    std::string LocalAddress() const override {
        if (m_fd < 0) return {};
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return {};
        return NumericHost(reinterpret_cast<sockaddr*>(&ss), len);
    }

    std::string Error() const override { return m_strError; }
    int ErrorCode() const override { return m_nErrorCode; }

    void Cancel() override {
        m_bCancelled.store(true);
        if (m_cancelFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(m_cancelFd, &one, sizeof one);
        }
    }

private:
    bool Cancelled() const { return m_bCancelled.load(); }

    TransportStatus Fail(std::string text, int code) {
        m_strError = std::move(text);
        m_nErrorCode = code;
        return TransportStatus::Failed;
    }

    static std::string NumericHost(const sockaddr* sa, socklen_t len) {
        char buf[NI_MAXHOST] = {};
        if (getnameinfo(sa, len, buf, sizeof buf, nullptr, 0, NI_NUMERICHOST) != 0) return "?";
        return buf;
    }

    TransportStatus Resolve(const std::string& host, uint16_t port, Clock::time_point deadline,
                            addrinfo** pList) {
        auto lookup = std::make_shared<Lookup>();
        const std::string service = std::to_string(port);
        std::thread([lookup, host, service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_ADDRCONFIG;
            addrinfo* res = nullptr;
            const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
            std::lock_guard lock(lookup->m);
            if (lookup->abandoned) {
                if (res) freeaddrinfo(res);
            } else {
                lookup->rc = rc;
                lookup->result = res;
            }
            lookup->done = true;
            lookup->cv.notify_all();
        }).detach();
        std::unique_lock lock(lookup->m);
        while (!lookup->done) {
            if (Cancelled()) {
                lookup->abandoned = true;
                return TransportStatus::Cancelled;
            }
            const auto step = std::min(deadline, Clock::now() + std::chrono::milliseconds(50));
            lookup->cv.wait_until(lock, step);
            if (!lookup->done && Clock::now() >= deadline) {
                lookup->abandoned = true;
                m_strError = "the name " + host + " was not resolved within the time-out";
                m_nErrorCode = ETIMEDOUT;
                return TransportStatus::TimedOut;
            }
        }
        if (lookup->rc != 0) {
            m_strError = "cannot resolve " + host + ": " + gai_strerror(lookup->rc);
            m_nErrorCode = lookup->rc;
            return TransportStatus::Failed;
        }
        *pList = lookup->result;
        return TransportStatus::Ok;
    }

    TransportStatus ConnectOne(addrinfo* ai, Clock::time_point deadline) {
        m_fd =
            socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (m_fd < 0) return Fail(std::string("socket: ") + std::strerror(errno), errno);
        const int one = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // At most this much of what was written waits unsent in the system:
        // a writer is told of room only when the queue is that short, so it
        // forms the next buffer while the last goes out. What is in flight
        // (sent, not yet acknowledged) is not limited, so the send buffer
        // still grows with the connection's speed.
        const int unsentLimit = 128 * 1024;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsentLimit, sizeof unsentLimit);
        if (connect(m_fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                const int e = errno;
                Close();
                return Fail(std::strerror(e), e);
            }
            const TransportStatus w = Wait(POLLOUT, deadline, "connecting");
            if (w != TransportStatus::Ok) {
                Close();
                return w;
            }
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
                Close();
                return Fail(std::strerror(err), err);
            }
        }
        return TransportStatus::Ok;
    }

    // Waits until the socket is ready for events, the deadline passes or
    // Cancel is called.
    TransportStatus Wait(short events, Clock::time_point deadline, const char* what) {
        while (true) {
            if (Cancelled()) return TransportStatus::Cancelled;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                m_strError = std::string("time-out ") + what;
                m_nErrorCode = ETIMEDOUT;
                return TransportStatus::TimedOut;
            }
            pollfd fds[2] = {{m_fd, events, 0}, {m_cancelFd, POLLIN, 0}};
            const int r = poll(fds, m_cancelFd >= 0 ? 2 : 1,
                               static_cast<int>(std::min<long long>(left.count(), 1000 * 60 * 60)));
            if (r < 0) {
                if (errno == EINTR) continue;
                return Fail(std::string("poll: ") + std::strerror(errno), errno);
            }
            if (fds[1].revents) return TransportStatus::Cancelled;
            if (fds[0].revents) return TransportStatus::Ok;  // errors show in the next call
        }
    }

    // After a failed send on the plain socket: Ok to try again (interrupted,
    // or there is room again), else why it failed.
    TransportStatus AfterSendError(Duration timeout) {
        const int e = errno;
        if (e == EINTR) return TransportStatus::Ok;
        if (e == EPIPE || e == ECONNRESET)
            return Fail(std::string("the server closed the connection (") + std::strerror(e) + ")",
                        e);
        if (e != EAGAIN && e != EWOULDBLOCK)
            return Fail(std::string("send: ") + std::strerror(e), e);
        return Wait(POLLOUT, Clock::now() + timeout, "sending");
    }

    TransportStatus WaitSsl(int r, Clock::time_point deadline, const char* what) {
        const int e = m_tls->pSSL_get_error(m_ssl, r);
        if (e == SSL_ERROR_WANT_READ) return Wait(POLLIN, deadline, what);
        if (e == SSL_ERROR_WANT_WRITE) return Wait(POLLOUT, deadline, what);
        if (e == SSL_ERROR_ZERO_RETURN) {
            m_strError = "the server closed the connection";
            return TransportStatus::Closed;
        }
        if (e == SSL_ERROR_SYSCALL) {
            const std::string ssl = OpenSslErrors(*m_tls);
            if (!ssl.empty()) return Fail("TLS: " + ssl, 0);
            if (errno != 0) return Fail(std::string("TLS: ") + std::strerror(errno), errno);
            m_strError = "the server closed the connection";
            return TransportStatus::Closed;
        }
        return Fail("TLS: " + OpenSslErrors(*m_tls), 0);
    }

    PosixTransportOptions m_options;
    int m_fd = -1;
    int m_cancelFd = -1;
    const TlsLibrary* m_tls = nullptr;  // loaded by the first StartTls
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    std::atomic<bool> m_bCancelled{false};
    std::string m_strError;
    int m_nErrorCode = 0;
};

}  // namespace

std::unique_ptr<ISmtpTransport> MakePosixTransport(PosixTransportOptions options) {
    return std::make_unique<CPosixTransport>(std::move(options));
}

}  // namespace meru
