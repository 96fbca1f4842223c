#pragma once
#include <string>
#include <string_view>

namespace meru {

// The address handed to the browser for a bookmark's URL or a web address
// selected in a note.
//
// White space around the text (blanks, tabs, line breaks, and the no-break
// space, U+0085, U+2028 and U+2029 that a Qt editor's selection may end with)
// is dropped, so a selection such as " example.org\r\n" opens
// http://example.org. An address
// that already names its scheme (a letter followed by letters, digits, "+",
// "-" or ".", then ":" - https:, ftp:, file:, mailto:, HTTP: ...) is kept as
// it is; any other gets "http://" in front. "host:port" (the part after ":"
// being only digits, up to the end or a "/", "?" or "#") is a host, not a
// scheme: localhost:8080 opens http://localhost:8080. An empty text gives
// "http://". The stored bookmark is never changed.
std::string FormBrowserAddress(std::string_view url);

// The scheme an address begins with ("https" for "https://x"), or empty when
// it has none by the rule above.
std::string_view UrlScheme(std::string_view address);

}  // namespace meru
