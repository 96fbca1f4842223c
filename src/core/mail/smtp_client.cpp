#include "core/mail/smtp_client.h"

#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace meru {

namespace {

// One command line, its terminating NUL included.
constexpr size_t kMaxCommandLine = 4096;
constexpr size_t kMaxHeader = 16384;
// Bytes asked for per read, and the most one reply may hold.
constexpr size_t kReadChunk = 4096;
constexpr size_t kMaxReply = 64 * 1024;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Join(const std::vector<std::unique_ptr<CMailRecipient>>& list) {
    std::string s;
    for (const auto& p : list) {
        if (!s.empty()) s += ',';
        s += p->Text();
    }
    return s;
}

uint16_t DefaultSmtpPort() {
    servent result{};
    servent* found = nullptr;
    char buf[1024];
    if (getservbyname_r("smtp", "tcp", &result, buf, sizeof buf, &found) == 0 && found)
        return static_cast<uint16_t>(ntohs(static_cast<uint16_t>(found->s_port)));
    return 25;
}

bool LineTooLong(std::string_view line) { return line.size() + 1 > kMaxCommandLine - 2; }

}  // namespace

CMailRecipient::CMailRecipient(std::string_view strAddress, std::string_view strName) {
    m_strText.reserve(strName.size() + strAddress.size() + 2);
    m_strText.append(strName).append("<").append(strAddress).append(">");
}

std::string CMailRecipient::AddressPart() const {
    const size_t open = m_strText.find('<');
    if (open == std::string::npos) return {};
    const size_t next = m_strText.find('<', open + 1);
    return m_strText.substr(open + 1,
                            next == std::string::npos ? std::string::npos : next - open - 1);
}

CSmtpClient::CSmtpClient() : CSmtpClient(MakePosixTransport()) {}

CSmtpClient::CSmtpClient(std::unique_ptr<ISmtpTransport> pTransport)
    : m_pTransport(std::move(pTransport)) {}

CSmtpClient::~CSmtpClient() {
    if (m_bConnected && !m_bCancelled.load()) Quit();
    m_pTransport->Close();
}

void CSmtpClient::Diag(std::string_view line) {
    std::string text(line);
    text += "\r\n";
    if (m_fnDiag) {
        m_fnDiag(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

bool CSmtpClient::Fail(MailFailure failure, std::string detail) {
    if (m_bCancelled.load()) {
        failure = MailFailure::Cancelled;
        detail = "Cancelled.";
    }
    m_failure = failure;
    m_strDetail = std::move(detail);
    return false;
}

void CSmtpClient::Cancel() {
    m_bCancelled.store(true);
    m_pTransport->Cancel();
}

void CSmtpClient::Drop() {
    m_pTransport->Close();
    m_bConnected = false;
    m_strInBuf.clear();
}

std::string CSmtpClient::LocalName() const {
    if (!m_strLocalName.empty()) return m_strLocalName;
    std::string name = LocalFqdn();
    if (!name.empty()) return name;
    const std::string addr = m_pTransport->LocalAddress();
    return addr.empty() ? std::string("[127.0.0.1]") : AddressLiteral(addr);
}

void CSmtpClient::SetBody(const std::string& strBody) {
    m_strBodyCopy = strBody;
    m_body = m_strBodyCopy;
}

void CSmtpClient::SetBodyView(std::string_view body) {
    m_strBodyCopy.clear();
    m_body = body;
}

bool CSmtpClient::WriteAll(std::string_view bytes) {
    const TransportStatus st = m_pTransport->Write(bytes, m_timeouts.m_reply);
    if (st == TransportStatus::Ok) return true;
    if (st != TransportStatus::Cancelled)
        Diag("Socket send error: " + std::to_string(m_pTransport->ErrorCode()));
    const std::string why = m_pTransport->Error();
    Drop();
    return Fail(MailFailure::Broken, "The connection to the server failed while sending: " + why);
}

bool CSmtpClient::ReadReply(Reply& reply, std::string_view what) {
    reply = Reply{};
    const auto deadline = std::chrono::steady_clock::now() + m_timeouts.m_reply;
    std::string chunk;
    bool bLast = false;
    while (!bLast) {
        const size_t eol = m_strInBuf.find('\n');
        if (eol == std::string::npos) {
            if (m_strInBuf.size() > kMaxReply) {
                Drop();
                return Fail(MailFailure::Broken,
                            "The server's reply to " + std::string(what) + " is too long.");
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            TransportStatus st = TransportStatus::TimedOut;
            if (left.count() > 0) st = m_pTransport->Read(&chunk, kReadChunk, left);
            if (st == TransportStatus::Ok) {
                m_strInBuf += chunk;
                continue;
            }
            std::string why;
            switch (st) {
                case TransportStatus::Closed: why = "The server closed the connection"; break;
                case TransportStatus::TimedOut:
                    why = "The server did not answer within " +
                          std::to_string(m_timeouts.m_reply.count() / 1000) + " s";
                    if (m_timeouts.m_reply.count() < 1000)
                        why = "The server did not answer within " +
                              std::to_string(m_timeouts.m_reply.count()) + " ms";
                    break;
                default: why = "The connection failed: " + m_pTransport->Error(); break;
            }
            if (!reply.m_strText.empty()) why += " in the middle of its reply";
            why += " (waiting for the reply to " + std::string(what) + ").";
            if (!reply.m_strText.empty()) why += "\n" + reply.m_strText;
            if (st != TransportStatus::Cancelled) Diag(why);
            Drop();
            return Fail(MailFailure::Broken, why);
        }
        std::string line = m_strInBuf.substr(0, eol);
        m_strInBuf.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool digits = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                            std::isdigit(static_cast<unsigned char>(line[1])) &&
                            std::isdigit(static_cast<unsigned char>(line[2]));
        if (!digits || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            const std::string why =
                "The server's reply to " + std::string(what) + " is not an SMTP reply:\n" + line;
            Diag(why);
            Drop();
            return Fail(MailFailure::Broken, why);
        }
        const int code = std::stoi(line.substr(0, 3));
        if (reply.m_nCode != 0 && code != reply.m_nCode) {
            const std::string why = "The server's reply to " + std::string(what) +
                                    " mixes reply codes:\n" + reply.m_strText + "\n" + line;
            Diag(why);
            Drop();
            return Fail(MailFailure::Broken, why);
        }
        reply.m_nCode = code;
        if (!reply.m_strText.empty()) reply.m_strText += '\n';
        reply.m_strText += line;
        bLast = line.size() == 3 || line[3] == ' ';
    }
    return true;
}

bool CSmtpClient::Expect(const Reply& reply, std::initializer_list<int> expect,
                         std::string_view what) {
    if (std::find(expect.begin(), expect.end(), reply.m_nCode) != expect.end()) return true;
    Diag("Unexpected reply to " + std::string(what) + ": " + reply.m_strText);
    return Fail(MailFailure::Refused,
                "The server refused " + std::string(what) + ":\n" + reply.m_strText);
}

bool CSmtpClient::Command(std::string_view line, std::initializer_list<int> expect,
                          std::string_view strShown) {
    const std::string shown(strShown.empty() ? line : strShown);
    if (LineTooLong(line)) {
        Diag("Command line too long: " + shown.substr(0, 40) + "...");
        return Fail(MailFailure::InvalidMessage,
                    "The command " + shown.substr(0, 40) + "... is too long.");
    }
    std::string out(line);
    out += "\r\n";
    if (!WriteAll(out)) return false;
    Reply reply;
    if (!ReadReply(reply, shown)) return false;
    return Expect(reply, expect, shown);
}

bool CSmtpClient::Hello(bool bExtended) {
    const std::string line = (bExtended ? "EHLO " : "HELO ") + LocalName();
    if (!bExtended) return Command(line, {250});
    if (!WriteAll(line + "\r\n")) return false;
    Reply reply;
    if (!ReadReply(reply, line) || !Expect(reply, {250}, line)) return false;
    // "250-name", then one keyword (and its parameters) per line.
    m_aCapabilities.clear();
    size_t start = 0;
    bool first = true;
    while (start <= reply.m_strText.size()) {
        size_t end = reply.m_strText.find('\n', start);
        if (end == std::string::npos) end = reply.m_strText.size();
        if (!first && end - start > 4)
            m_aCapabilities.push_back(Upper(reply.m_strText.substr(start + 4, end - start - 4)));
        first = false;
        start = end + 1;
    }
    return true;
}

bool CSmtpClient::Authenticate() {
    bool bPlain = false, bLogin = false;
    for (const std::string& cap : m_aCapabilities) {
        if (cap.rfind("AUTH", 0) != 0 || (cap.size() > 4 && cap[4] != ' ' && cap[4] != '='))
            continue;
        std::string_view mechs(cap);
        mechs.remove_prefix(4);
        size_t i = 0;
        while (i < mechs.size()) {
            while (i < mechs.size() && (mechs[i] == ' ' || mechs[i] == '=')) ++i;
            size_t j = i;
            while (j < mechs.size() && mechs[j] != ' ') ++j;
            const std::string_view m = mechs.substr(i, j - i);
            if (m == "PLAIN") bPlain = true;
            if (m == "LOGIN") bLogin = true;
            i = j;
        }
    }
    if (!bPlain && !bLogin) {
        Diag("The server offers no AUTH PLAIN or LOGIN");
        return Fail(MailFailure::AuthRefused,
                    "The server offers no login method this program knows (AUTH PLAIN or LOGIN).");
    }
    auto refused = [&] {
        if (m_failure == MailFailure::Refused) m_failure = MailFailure::AuthRefused;
        return false;
    };
    if (bPlain) {
        std::string token;
        token += '\0';
        token += m_setting.m_strUser;
        token += '\0';
        token += m_strPassword;
        if (!Command("AUTH PLAIN " + Base64(token), {235}, "AUTH PLAIN")) return refused();
        return true;
    }
    if (!Command("AUTH LOGIN", {334})) return refused();
    if (!Command(Base64(m_setting.m_strUser), {334}, "AUTH LOGIN (user name)")) return refused();
    if (!Command(Base64(m_strPassword), {235}, "AUTH LOGIN (password)")) return refused();
    return true;
}

bool CSmtpClient::Connect(const std::string& strServer, unsigned short nPort) {
    if (m_bConnected) Quit();
    m_bConnected = false;
    m_failure = MailFailure::None;
    m_strDetail.clear();
    m_strInBuf.clear();
    m_pTransport->Close();

    std::string parseError;
    auto setting = ParseServerSetting(strServer, &parseError);
    if (!setting) {
        Diag("Invalid socket");
        return Fail(MailFailure::InvalidSetting, "The outgoing mail server \"" + strServer +
                                                     "\" cannot be used: " + parseError + ".");
    }
    m_setting = *setting;
    uint16_t port = nPort != 0 ? nPort : m_setting.m_nPort;
    if (port == 0) port = DefaultSmtpPort();

    const TransportStatus st =
        m_pTransport->Connect(m_setting.m_strHost, port, m_timeouts.m_connect);
    if (st != TransportStatus::Ok) {
        Diag("Invalid socket");
        const std::string why = m_pTransport->Error();
        Drop();
        return Fail(MailFailure::Unreachable,
                    why.empty() ? "No connection to " + m_setting.m_strHost : why);
    }
    auto startTls = [&] {
        const TransportStatus tls =
            m_pTransport->StartTls(m_setting.m_strHost, m_timeouts.m_connect);
        if (tls == TransportStatus::Ok) return true;
        const std::string why = m_pTransport->Error();
        Diag("TLS failed: " + why);
        Drop();
        return Fail(MailFailure::Tls,
                    "No secure connection to " + m_setting.m_strHost + ": " + why);
    };
    if (m_setting.m_security == SmtpSecurity::Tls && !startTls()) return false;

    Reply greeting;
    if (!ReadReply(greeting, "the connection (greeting)")) return false;
    if (!Expect(greeting, {220}, "the connection (greeting)")) {
        Drop();
        return false;
    }
    bool ok = true;
    if (m_setting.m_security == SmtpSecurity::Plain) {
        ok = Hello(false);
    } else {
        ok = Hello(true);
        if (ok && m_setting.m_security == SmtpSecurity::StartTls) {
            if (std::find(m_aCapabilities.begin(), m_aCapabilities.end(), "STARTTLS") ==
                m_aCapabilities.end()) {
                Diag("The server does not offer STARTTLS");
                Drop();
                return Fail(MailFailure::Tls, "The server " + m_setting.m_strHost +
                                                  " does not offer STARTTLS; nothing was sent.");
            }
            ok = Command("STARTTLS", {220}) && startTls() && Hello(true);
        }
        if (ok && !m_setting.m_strUser.empty()) ok = Authenticate();
    }
    if (!ok) {
        Drop();
        return false;
    }
    m_bConnected = true;
    return true;
}

bool CSmtpClient::AddTo(const std::string& strAddress, const std::string& strName) {
    if (strAddress.empty()) return false;
    m_aTo.push_back(std::make_unique<CMailRecipient>(strAddress, strName));
    return true;
}

bool CSmtpClient::AddCc(const std::string& strAddress, const std::string& strName) {
    if (strAddress.empty()) return false;
    m_aCc.push_back(std::make_unique<CMailRecipient>(strAddress, strName));
    return true;
}

bool CSmtpClient::AddBcc(const std::string& strAddress, const std::string& strName) {
    if (strAddress.empty()) return false;
    m_aBcc.push_back(std::make_unique<CMailRecipient>(strAddress, strName));
    return true;
}

std::optional<std::string> CSmtpClient::CheckFields() const {
    auto bad = [](const std::optional<std::string>& s) { return s && HasLineBreak(*s); };
    if (bad(m_strSender)) return std::string("sender address");
    if (bad(m_strFrom)) return std::string("From");
    if (bad(m_strSubject)) return std::string("Subject");
    for (const auto* list : {&m_aTo, &m_aCc, &m_aBcc})
        for (const auto& p : *list)
            if (HasLineBreak(p->Text()))
                return std::string(list == &m_aTo ? "To" : list == &m_aCc ? "CC" : "BCC");
    return std::nullopt;
}

std::optional<std::string> CSmtpClient::BuildHeader() {
    return BuildHeaderFor(NeedsQuotedPrintable(m_body));
}

std::optional<std::string> CSmtpClient::BuildHeaderFor(bool bQuoted) {
    if (m_aTo.empty()) {
        Diag("Please add a message recipient!");
        return std::nullopt;
    }
    const std::time_t now = m_fnClock ? m_fnClock() : std::time(nullptr);
    std::string domain;
    if (m_strSender) {
        const size_t at = m_strSender->rfind('@');
        if (at != std::string::npos) domain = m_strSender->substr(at + 1);
    }
    if (domain.empty() || !IsAscii(domain) ||
        domain.find_first_of(" <>\t\"()[],;:\\") != std::string::npos)
        domain = LocalFqdn();

    std::string h;
    h += "DATE: " + FormatMailDate(now) + "\r\n";
    if (m_strFrom) h += "FROM: " + *m_strFrom + "\r\n";
    h += "To: " + Join(m_aTo) + "\r\n";
    h += "Cc: " + Join(m_aCc) + "\r\n";
    if (m_strSubject) h += "Subject: " + EncodeHeaderText(*m_strSubject) + "\r\n";
    h += "MIME-Version: 1.0\r\nContent-type: text/plain; charset=UTF-8\r\n";
    h += bQuoted ? "Content-Transfer-Encoding: quoted-printable\r\n"
                 : "Content-Transfer-Encoding: 7bit\r\n";
    h += "Message-ID: " + MakeMessageId(domain) + "\r\n";
    h += "\r\n";
    if (h.size() > kMaxHeader) {
        Diag("Message header too long");
        return std::nullopt;
    }
    return h;
}

bool CSmtpClient::Send() {
    m_failure = MailFailure::None;
    m_strDetail.clear();
    if (!m_strSender) {
        Diag("Please specifiy a sender email address");
        return Fail(MailFailure::InvalidMessage, "No sender address is set.");
    }
    if (auto field = CheckFields()) {
        Diag("Line break in " + *field);
        return Fail(MailFailure::InvalidMessage,
                    "The " + *field + " field holds a line break; nothing was sent.");
    }
    const std::string_view body = m_body;
    const bool bQuoted = NeedsQuotedPrintable(body);
    const auto header = BuildHeaderFor(bQuoted);
    if (!header) {
        Diag("Failed to format message header");
        return Fail(MailFailure::InvalidMessage, m_aTo.empty() ? "The message has no To recipient."
                                                               : "The message header is too long.");
    }
    if (!m_bConnected) {
        Diag("Not connected to server!");
        return Fail(MailFailure::Broken,
                    m_strDetail.empty() ? "Not connected to the server." : m_strDetail);
    }
    if (!Command("MAIL FROM: <" + *m_strSender + ">", {250})) return false;
    for (const auto* list : {&m_aTo, &m_aCc, &m_aBcc})
        for (const auto& p : *list)
            if (!Command("RCPT TO: <" + p->AddressPart(), {250, 251})) return false;
    if (!Command("DATA", {354})) return false;
    constexpr std::string_view kEndOfData = "\r\n.\r\n";
    if (!bQuoted) {
        // 7 bit: the header, the wire form of the body and the end mark are
        // formed into one buffer after the other and each goes to the system
        // whole: no copy of the body is held. 64 KiB buffers keep what was
        // just formed in the cache for the system's copy, and the server
        // starts reading sooner than with larger ones.
        constexpr size_t kStage = 64 * 1024;
        const auto stage = std::make_unique_for_overwrite<char[]>(kStage);
        std::memcpy(stage.get(), header->data(), header->size());  // never above kMaxHeader
        size_t used = header->size();
        size_t pos = 0;
        bool bEnded = false;  // the end mark is in the buffer
        while (!bEnded) {
            size_t written = 0;
            pos = FormWireText(body, pos, stage.get() + used, kStage - used, &written);
            used += written;
            if (pos == body.size() && kStage - used >= kEndOfData.size()) {
                std::memcpy(stage.get() + used, kEndOfData.data(), kEndOfData.size());
                used += kEndOfData.size();
                bEnded = true;
            }
            if (!WriteAll(std::string_view(stage.get(), used))) return false;
            used = 0;
        }
    } else {
        if (!WriteAll(*header)) return false;
        // Quoted-printable goes out in pieces cut after a line feed, each
        // encoded on its own: no encoded copy of a big body is held whole,
        // and the server reads one piece while the next is formed.
        constexpr size_t kPiece = 1024 * 1024;
        std::string_view rest = body;
        std::string piece;
        while (!rest.empty()) {
            size_t cut = rest.size();
            if (rest.size() > kPiece) {
                const size_t lf = rest.find('\n', kPiece);
                if (lf != std::string_view::npos) cut = lf + 1;
            }
            piece = DotStuff(QuotedPrintable(NormaliseLineBreaks(rest.substr(0, cut))));
            if (!WriteAll(piece)) return false;
            rest.remove_prefix(cut);
        }
        if (!WriteAll(kEndOfData)) return false;
    }
    Reply reply;
    if (!ReadReply(reply, "the message (end of data)")) return false;
    return Expect(reply, {250}, "the message");
}

bool CSmtpClient::Quit() {
    if (!m_bConnected) {
        Diag("Not connected to server!");
        return false;
    }
    if (m_bCancelled.load()) {
        Drop();
        return false;
    }
    const MailFailure failure = m_failure;
    const std::string detail = m_strDetail;
    bool ok = Command("QUIT", {221});
    // A failed QUIT does not hide why the message failed.
    if (failure != MailFailure::None) {
        m_failure = failure;
        m_strDetail = detail;
    }
    Drop();
    return ok;
}

std::unique_ptr<IMailSender> MakeSmtpClient() { return std::make_unique<CSmtpClient>(); }

}  // namespace meru
