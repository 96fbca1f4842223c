#include "core/bookmarks/url.h"

namespace meru {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// White space at either end of a selection: ASCII blanks and line breaks, and
// the no-break space, NEL and the line and paragraph separators that a Qt
// editor's selection carries (U+00A0, U+0085, U+2028, U+2029).
constexpr std::string_view kWideSpaces[] = {"\xC2\xA0", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};

std::string_view Trim(std::string_view s) {
    for (bool more = true; more && !s.empty();) {
        more = false;
        if (IsSpace(s.front())) {
            s.remove_prefix(1);
            more = true;
            continue;
        }
        for (std::string_view w : kWideSpaces)
            if (s.starts_with(w)) {
                s.remove_prefix(w.size());
                more = true;
                break;
            }
    }
    for (bool more = true; more && !s.empty();) {
        more = false;
        if (IsSpace(s.back())) {
            s.remove_suffix(1);
            more = true;
            continue;
        }
        for (std::string_view w : kWideSpaces)
            if (s.ends_with(w)) {
                s.remove_suffix(w.size());
                more = true;
                break;
            }
    }
    return s;
}

// After "name:", only digits up to the end or to "/", "?" or "#": a port.
bool IsPort(std::string_view rest) {
    size_t i = 0;
    while (i < rest.size() && IsDigit(rest[i])) ++i;
    return i > 0 && (i == rest.size() || rest[i] == '/' || rest[i] == '?' || rest[i] == '#');
}

}  // namespace

std::string_view UrlScheme(std::string_view address) {
    if (address.empty() || !IsAlpha(address[0])) return {};
    size_t i = 1;
    while (i < address.size() && (IsAlpha(address[i]) || IsDigit(address[i]) || address[i] == '+' ||
                                  address[i] == '-' || address[i] == '.'))
        ++i;
    if (i == address.size() || address[i] != ':') return {};
    if (IsPort(address.substr(i + 1))) return {};
    return address.substr(0, i);
}

std::string FormBrowserAddress(std::string_view url) {
    const std::string_view address = Trim(url);
    if (!UrlScheme(address).empty()) return std::string(address);
    std::string out = "http://";
    out += address;
    return out;
}

}  // namespace meru
