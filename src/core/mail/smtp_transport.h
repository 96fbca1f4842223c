#pragma once
// The byte stream the SMTP client talks over: a TCP connection that can be
// switched to TLS. Every operation is bounded by a time-out, and Cancel (the
// one call allowed from another thread) ends whatever is in progress at once.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace meru {

enum class TransportStatus {
    Ok,
    Closed,  // the peer closed the connection (Read only)
    TimedOut,
    Cancelled,
    Failed,  // see Error()
};

class ISmtpTransport {
public:
    using Duration = std::chrono::milliseconds;
    virtual ~ISmtpTransport() = default;

    // Resolves host (every address, IPv6 and IPv4, tried in order) and
    // connects to port. The time-out bounds the look-up and the connection.
    virtual TransportStatus Connect(const std::string& host, uint16_t port, Duration timeout) = 0;
    // Sends all bytes; the time-out bounds each wait for room to write.
    virtual TransportStatus Write(std::string_view bytes, Duration timeout) = 0;
    // Waits up to the time-out for bytes and reads at most cap of them into
    // *pOut (replacing its content).
    virtual TransportStatus Read(std::string* pOut, size_t cap, Duration timeout) = 0;
    // TLS handshake over the open connection; the server certificate is
    // verified against the trusted certificates and the host name.
    virtual TransportStatus StartTls(const std::string& host, Duration timeout) = 0;
    virtual bool IsTls() const = 0;
    virtual void Close() = 0;
    // Numeric address of this end of the connection ("127.0.0.1", "::1").
    virtual std::string LocalAddress() const = 0;
    // Why the last operation did not succeed, in words.
    virtual std::string Error() const = 0;
    // The system error number of the last failure, 0 when there is none.
    virtual int ErrorCode() const = 0;
    // Thread-safe: ends the current and every later operation with Cancelled.
    virtual void Cancel() = 0;
};

struct PosixTransportOptions {
    // Extra trusted certificates (PEM file) besides the system's; empty: the
    // system's only.
    std::string m_strCaFile;
    // The OpenSSL library loaded for the first TLS connection; empty: the
    // system's libssl.
    std::string m_strTlsLibrary;
};

// POSIX sockets and OpenSSL.
std::unique_ptr<ISmtpTransport> MakePosixTransport(PosixTransportOptions options = {});

}  // namespace meru
