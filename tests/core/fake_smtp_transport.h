#pragma once
// A scripted stand-in for the network: the server's replies are queued
// chunks (each read returns the next one, or part of it), every write is
// recorded, and the transcript shows reads and writes in the order they
// happened ("S: " server bytes, "C: " client bytes).
#include <deque>
#include <memory>
#include <string>

#include "core/mail/smtp_transport.h"

namespace meru::test {

struct ScriptedState {
    std::deque<std::string> replies;  // chunks the reads hand out, in order
    TransportStatus whenEmpty = TransportStatus::TimedOut;
    TransportStatus connectStatus = TransportStatus::Ok;
    TransportStatus tlsStatus = TransportStatus::Ok;
    std::string error = "scripted failure";
    int failWriteNumber = 0;  // 1-based write that fails; 0: none

    std::string written;     // everything the client wrote, "<TLS>" where TLS began
    std::string transcript;  // "S: ..." and "C: ..." in order
    std::string host;
    uint16_t port = 0;
    int connects = 0;
    int writes = 0;
    bool tls = false;
    bool cancelled = false;
    bool closed = false;
};

class CScriptedTransport final : public ISmtpTransport {
public:
    explicit CScriptedTransport(std::shared_ptr<ScriptedState> s) : m_s(std::move(s)) {}

    TransportStatus Connect(const std::string& host, uint16_t port, Duration) override {
        ++m_s->connects;
        m_s->host = host;
        m_s->port = port;
        m_s->closed = false;
        return m_s->cancelled ? TransportStatus::Cancelled : m_s->connectStatus;
    }
    TransportStatus Write(std::string_view bytes, Duration) override {
        if (m_s->cancelled) return TransportStatus::Cancelled;
        if (++m_s->writes == m_s->failWriteNumber) return TransportStatus::Failed;
        m_s->written.append(bytes);
        m_s->transcript.append("C: ").append(bytes);
        return TransportStatus::Ok;
    }
    TransportStatus Read(std::string* pOut, size_t cap, Duration) override {
        pOut->clear();
        if (m_s->cancelled) return TransportStatus::Cancelled;
        if (m_s->replies.empty()) return m_s->whenEmpty;
        std::string& front = m_s->replies.front();
        *pOut = front.substr(0, cap);
        front.erase(0, pOut->size());
        if (front.empty()) m_s->replies.pop_front();
        m_s->transcript.append("S: ").append(*pOut);
        return TransportStatus::Ok;
    }
    TransportStatus StartTls(const std::string&, Duration) override {
        if (m_s->tlsStatus == TransportStatus::Ok) {
            m_s->tls = true;
            m_s->written += "<TLS>";
            m_s->transcript += "<TLS>\n";
        }
        return m_s->tlsStatus;
    }
    bool IsTls() const override { return m_s->tls; }
    void Close() override { m_s->closed = true; }
    std::string LocalAddress() const override { return "127.0.0.1"; }
    std::string Error() const override { return m_s->error; }
    int ErrorCode() const override { return 32; }
    void Cancel() override { m_s->cancelled = true; }

private:
    std::shared_ptr<ScriptedState> m_s;
};

}  // namespace meru::test
