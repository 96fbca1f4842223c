#pragma once
// Forming what goes onto the wire for one message: the outgoing server
// setting, line breaks and dot-stuffing of the body, quoted-printable,
// encoded words for a non-ASCII subject, the date and the Message-ID.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/text/text_codec.h"  // IsAscii

namespace meru {

// How the client talks to the server of one setting text.
enum class SmtpSecurity {
    Plain,     // "host" or "host:port": HELO dialogue, no TLS, no login
    StartTls,  // "smtp://": EHLO, STARTTLS before anything else, then AUTH
    Tls,       // "smtps://": TLS from the first byte, EHLO, then AUTH
};

struct SmtpServerSetting {
    SmtpSecurity m_security = SmtpSecurity::Plain;
    std::string m_strHost;  // without the brackets of an IPv6 literal
    uint16_t m_nPort = 0;   // 0: the "smtp" service (port 25)
    std::string m_strUser;  // empty: no login
};

// Reads the setting field: "host", "host:port", "[v6]", "[v6]:port",
// "smtp://[user@]host[:port]" (port 587) or "smtps://[user@]host[:port]"
// (port 465). The user part may be percent-encoded ("me%40example.org").
// Nothing on failure, with the reason in *pError.
std::optional<SmtpServerSetting> ParseServerSetting(std::string_view text,
                                                    std::string* pError = nullptr);

// True when the text holds a CR or LF (which would add a header or a command).
bool HasLineBreak(std::string_view text);

// Every line break (CR LF, lone LF, lone CR) becomes CR LF.
std::string NormaliseLineBreaks(std::string_view text);

// Doubles the "." that starts a line of a CR LF text, so no line of the body
// can end the data early.
std::string DotStuff(std::string_view crlfText);

// DotStuff(NormaliseLineBreaks(text)) in one pass; the Append form adds to
// out (so a buffer can be reused).
std::string ToWireText(std::string_view text);
void AppendWireLines(std::string& out, std::string_view text, bool bStuff);

// True when the body has to go out quoted-printable: it holds a byte above
// 127, or a line (counted between LFs, a CR just before the LF not counted)
// of more than 998 bytes. Else it goes out as 7-bit text.
bool NeedsQuotedPrintable(std::string_view body);
// NeedsQuotedPrintable takes the fastest of several scans this processor
// runs; these run each of them (0: the portable one), so all can be checked.
size_t NeedsQuotedPrintableVariants();
bool NeedsQuotedPrintableVariant(size_t k, std::string_view body);

// Forms the 7-bit wire text of a body (what ToWireText gives) one buffer at
// a time: writes the wire form of body from `from` on into out, at most cap
// bytes, sets *pWritten to the bytes written and returns where in the body
// it stopped (body.size() when it is all formed). Called again with that
// position it goes on with the same text. A cap of 4 bytes or more always
// makes progress.
size_t FormWireText(std::string_view body, size_t from, char* out, size_t cap, size_t* pWritten);
// FormWireText takes the fastest of several ways of forming this processor
// runs; these run each of them (0: the portable one), so all can be checked.
size_t FormWireTextVariants();
size_t FormWireTextVariant(size_t k, std::string_view body, size_t from, char* out, size_t cap,
                           size_t* pWritten);

// Quoted-printable (RFC 2045) of a CR LF text: line breaks stay hard breaks,
// "=", control bytes and bytes above 126 become "=XX", white space at a line
// end is encoded, lines are folded with soft breaks to at most 76 characters.
std::string QuotedPrintable(std::string_view crlfText);

// The subject as it goes into the header: unchanged when it is ASCII, else
// RFC 2047 "=?UTF-8?B?...?=" words of at most 75 characters, never splitting
// a UTF-8 character, joined by a folding CR LF blank.
std::string EncodeHeaderText(std::string_view text);

// "Thu, 10 Dec 2026 05:26:11 +0000": English names, UTC.
std::string FormatMailDate(std::time_t t);

// "<hex.hex@domain>", unique per call.
std::string MakeMessageId(std::string_view domain);

// This machine's name for HELO/EHLO: the host name when it is fully
// qualified (has a dot), else empty (the caller then uses the address
// literal of its end of the connection).
std::string LocalFqdn();

// "[127.0.0.1]" or "[IPv6:::1]" for a numeric address.
std::string AddressLiteral(std::string_view numericAddress);

std::string Base64(std::string_view bytes);

}  // namespace meru
