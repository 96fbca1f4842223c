// Sending a 10 MB message through the SMTP client to a local sink server,
// against writing the same bytes to a plain socket whose reader discards
// them; both in the same run, each including its connection. Besides the
// client's CPU time (the CPU column), sink_cpu_ms gives the reading side's
// per message: with two cores the slower of the two sets the pace.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "core/mail/mail_sender.h"
#include "core/mail/smtp_client.h"
#include "core/mail/smtp_message.h"

using namespace meru;

namespace {

constexpr size_t kBodySize = 10 * 1024 * 1024;

std::string MakeBody(const char* lineBreak) {
    std::string body;
    body.reserve(kBodySize + 100);
    size_t line = 0;
    while (body.size() < kBodySize) {
        // ordinary text lines, now and then one starting with a dot
        if (line++ % 50 == 0) body += '.';
        body += "The quick brown fox jumps over the lazy dog, and the dog does not mind.";
        body += lineBreak;
    }
    body.resize(kBodySize);
    return body;
}

// CR LF line breaks, as the notes keep them.
const std::string& Body() {
    static const std::string body = MakeBody("\r\n");
    return body;
}

// LF only: every line break changes on the wire.
const std::string& UnixBody() {
    static const std::string body = MakeBody("\n");
    return body;
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A listening socket on 127.0.0.1 served by one thread, one connection at a
// time, until it is destroyed; the CPU time it spent serving is added to
// *pCpuMs.
class CSink {
public:
    CSink(bool bSmtp, std::atomic<double>* pCpuMs) : m_bSmtp(bSmtp), m_pCpuMs(pCpuMs) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_fd, 4);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_nPort = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~CSink() {
        m_bStop = true;
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_thread.join();
    }
    uint16_t Port() const { return m_nPort; }

private:
    static void Say(int fd, const char* text) {
        (void)!send(fd, text, std::strlen(text), MSG_NOSIGNAL);
    }

    void Run() {
        while (!m_bStop) {
            const int c = accept(m_fd, nullptr, nullptr);
            if (c < 0) return;
            const double start = ThreadCpuMs();
            if (m_bSmtp)
                ServeSmtp(c);
            else
                ServePlain(c);
            close(c);
            *m_pCpuMs = *m_pCpuMs + (ThreadCpuMs() - start);
        }
    }

    static void ServePlain(int c) {
        static thread_local char buf[1 << 16];
        while (recv(c, buf, sizeof buf, 0) > 0) {}
        Say(c, "k");
    }

    static void ServeSmtp(int c) {
        static thread_local char buf[1 << 16];
        Say(c, "220 sink\r\n");
        std::string line;
        bool inData = false;
        std::string tail;  // the last bytes of the data seen so far
        while (true) {
            const ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            std::string_view chunk(buf, static_cast<size_t>(n));
            while (!chunk.empty()) {
                if (inData) {
                    // The client sends nothing after the end mark until it
                    // has the reply, so the mark always ends a read: only
                    // the last bytes are looked at, and the sink's own work
                    // stays close to the plain reader's.
                    std::string last = tail;
                    last.append(chunk.substr(chunk.size() > 5 ? chunk.size() - 5 : 0));
                    if (last.size() >= 5 && last.compare(last.size() - 5, 5, "\r\n.\r\n") == 0) {
                        inData = false;
                        Say(c, "250 queued\r\n");
                    } else {
                        tail = last.substr(last.size() > 4 ? last.size() - 4 : 0);
                    }
                    break;
                }
                const size_t eol = chunk.find('\n');
                line.append(
                    chunk.substr(0, eol == std::string_view::npos ? chunk.size() : eol + 1));
                if (eol == std::string_view::npos) break;
                chunk.remove_prefix(eol + 1);
                if (line.rfind("DATA", 0) == 0) {
                    Say(c, "354 go\r\n");
                    inData = true;
                    tail = "\r\n";  // an empty message ends at once with ".\r\n"
                } else if (line.rfind("QUIT", 0) == 0) {
                    Say(c, "221 bye\r\n");
                    return;
                } else {
                    Say(c, "250 ok\r\n");
                }
                line.clear();
            }
        }
    }

    bool m_bSmtp;
    std::atomic<double>* m_pCpuMs;
    int m_fd = -1;
    uint16_t m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

void SetSinkCpu(benchmark::State& state, const std::atomic<double>& cpuMs) {
    if (state.iterations() > 0)
        state.counters["sink_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
}

void BM_PlainSocket10MB(benchmark::State& state) {
    std::atomic<double> sinkCpu{0};
    auto sink = std::make_unique<CSink>(false, &sinkCpu);
    const std::string& body = Body();
    for (auto _ : state) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(sink->Port());
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            state.SkipWithError("connect");
        size_t off = 0;
        while (off < body.size()) {
            const ssize_t n = send(fd, body.data() + off, body.size() - off, MSG_NOSIGNAL);
            if (n <= 0) break;
            off += static_cast<size_t>(n);
        }
        shutdown(fd, SHUT_WR);
        char ack;
        (void)!recv(fd, &ack, 1, 0);  // the reader has taken everything
        close(fd);
    }
    sink.reset();  // its last connection counted
    SetSinkCpu(state, sinkCpu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_PlainSocket10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void SmtpSend(benchmark::State& state, const std::string& body) {
    std::atomic<double> sinkCpu{0};
    auto sink = std::make_unique<CSink>(true, &sinkCpu);
    const MailSettings settings{"127.0.0.1:" + std::to_string(sink->Port()), "me@example.org"};
    const ComposedMail mail{"to@example.org", "", "", "Ten megabytes", body};
    for (auto _ : state) {
        CSmtpClient client;
        client.SetDiagnostics([](std::string_view) {});
        const MailSendResult r = SendComposedMail(client, settings, mail);
        if (r.m_outcome != MailSendOutcome::Sent) state.SkipWithError(r.m_strDetail.c_str());
    }
    sink.reset();
    SetSinkCpu(state, sinkCpu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_SmtpSend10MB(benchmark::State& state) { SmtpSend(state, Body()); }
BENCHMARK(BM_SmtpSend10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SmtpSend10MBLfLines(benchmark::State& state) { SmtpSend(state, UnixBody()); }
BENCHMARK(BM_SmtpSend10MBLfLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// The client's own part without the connection: deciding the encoding and
// forming the wire text into a buffer of the client's size (64 KiB), against
// copying the same bytes into that buffer (the least any forming costs).
constexpr size_t kBuffer = 64 * 1024;

void BM_FormWire10MBLfLines(benchmark::State& state) {
    const std::string& body = UnixBody();
    std::vector<char> buf(kBuffer);
    for (auto _ : state) {
        benchmark::DoNotOptimize(NeedsQuotedPrintable(body));
        size_t pos = 0;
        while (pos < body.size()) {
            size_t written = 0;
            pos = FormWireText(body, pos, buf.data(), buf.size(), &written);
            benchmark::DoNotOptimize(buf.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_FormWire10MBLfLines)->Unit(benchmark::kMillisecond);

void BM_CopyIntoBuffer10MB(benchmark::State& state) {
    const std::string& body = UnixBody();
    std::vector<char> buf(kBuffer);
    for (auto _ : state) {
        for (size_t pos = 0; pos < body.size(); pos += kBuffer) {
            std::memcpy(buf.data(), body.data() + pos, std::min(kBuffer, body.size() - pos));
            benchmark::DoNotOptimize(buf.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_CopyIntoBuffer10MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
