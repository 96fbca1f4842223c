#include "core/mail/mailto.h"

namespace meru {
namespace {

// Characters of RFC 6068's qchar (unreserved and some-delims) without "+".
constexpr std::string_view kKeep = "-._~!$'()*,;:@";

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

std::string PercentEncode(std::string_view text, std::string_view keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (IsAlnum(c) || keep.find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

std::string FormMailtoUrl(std::string_view to, std::string_view subject) {
    std::string url = "mailto:";
    url += PercentEncode(Trim(to), kKeep);
    url += "?subject=";
    url += PercentEncode(subject, kKeep);
    return url;
}

}  // namespace meru
