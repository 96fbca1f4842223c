#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/bookmarks/url.h"
#include "core/mail/mailto.h"

using namespace meru;

TEST(BrowserAddress, SchemeKeptOtherwiseHttpInFront) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"example.org", "http://example.org"},
        {"www.example.org/a?b=c#d", "http://www.example.org/a?b=c#d"},
        {"", "http://"},
        {"http://example.org", "http://example.org"},
        {"HTTP://EXAMPLE.ORG", "HTTP://EXAMPLE.ORG"},
        {"hTTp://x", "hTTp://x"},
        {"https://example.org", "https://example.org"},
        {"ftp://ftp.example.org/f", "ftp://ftp.example.org/f"},
        {"file:///home/me/a.html", "file:///home/me/a.html"},
        {"mailto:a@example.org", "mailto:a@example.org"},
        {"svn+ssh://host/repo", "svn+ssh://host/repo"},
        {"view-source:x", "view-source:x"},
        // white space around the selection goes
        {" example.org\n", "http://example.org"},
        {"\t https://example.org \r\n", "https://example.org"},
        {" \r\n ", "http://"},
        // a Qt selection: paragraph separator, no-break space
        {"\xC2\xA0"
         "example.org\xE2\x80\xA9",
         "http://example.org"},
        {"a\xC2\xA0"
         "b",
         "http://a\xC2\xA0"
         "b"},  // only at the ends
        // host and port are not a scheme
        {"localhost:8080", "http://localhost:8080"},
        {"example.org:8080/path", "http://example.org:8080/path"},
        {"localhost:8080?q", "http://localhost:8080?q"},
        // not schemes
        {"1abc:x", "http://1abc:x"},
        {":x", "http://:x"},
        {"user@example.org", "http://user@example.org"},
        {"a b:c", "http://a b:c"},
        {"caff\xC3\xA8.it", "http://caff\xC3\xA8.it"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormBrowserAddress(c.in), c.out) << '"' << c.in << '"';
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower-case or other: not what we write
}

// Percent-decoding as a mail program does it; false on a malformed escape.
bool Decode(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out.push_back(s[i]);
            continue;
        }
        if (i + 2 >= s.size()) return false;
        const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}
}  // namespace

TEST(MailtoUrl, FormedWithEncodedParts) {
    struct Case {
        std::string to, subject, url;
    };
    const Case cases[] = {
        {"a@example.org", "Hello", "mailto:a@example.org?subject=Hello"},
        {"a@example.org", "Tom & Jerry", "mailto:a@example.org?subject=Tom%20%26%20Jerry"},
        {"a@example.org", "#1?x=y%", "mailto:a@example.org?subject=%231%3Fx%3Dy%25"},
        {"a@example.org", "caff\xC3\xA8 \xE2\x82\xAC",
         "mailto:a@example.org?subject=caff%C3%A8%20%E2%82%AC"},
        {"a@example.org", "1+1", "mailto:a@example.org?subject=1%2B1"},
        {"a@example.org", "re: (ok), it's *done*!",
         "mailto:a@example.org?subject=re:%20(ok),%20it's%20*done*!"},
        {"a@example.org", "line\r\nBcc: x@y", "mailto:a@example.org?subject=line%0D%0ABcc:%20x@y"},
        {"a@example.org", "", "mailto:a@example.org?subject="},
        {"", "", "mailto:?subject="},
        {" a@example.org\t", "x", "mailto:a@example.org?subject=x"},
        {"a@example.org,b@example.org", "x", "mailto:a@example.org,b@example.org?subject=x"},
        {"first.last-1_2~@sub.example.org", "x",
         "mailto:first.last-1_2~@sub.example.org?subject=x"},
        {"user+tag@example.org", "x", "mailto:user%2Btag@example.org?subject=x"},
        {"a@example.org?cc=evil@x.org", "x", "mailto:a@example.org%3Fcc%3Devil@x.org?subject=x"},
        {"a@example.org&body=hi", "x", "mailto:a@example.org%26body%3Dhi?subject=x"},
        {"a@example.org#frag", "x", "mailto:a@example.org%23frag?subject=x"},
        {"\"a b\"@example.org", "x", "mailto:%22a%20b%22@example.org?subject=x"},
        {"m\xC3\xBCller@b\xC3\xBC\x63her.de", "x", "mailto:m%C3%BCller@b%C3%BCcher.de?subject=x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to + " | " + c.subject);
        EXPECT_EQ(FormMailtoUrl(c.to, c.subject), c.url);
    }
}

// Whatever is typed, the URL has exactly one "?", one field, and decodes back
// to what was typed.
TEST(MailtoUrl, TypedTextNeverChangesTheShape) {
    std::string every;
    for (int b = 1; b < 256; ++b) every.push_back(static_cast<char>(b));
    const std::string nasty[] = {"?subject=x&body=y", "%41%", "a#b?c&d=e", "+ +", every};
    for (const auto& to : nasty) {
        for (const auto& subject : nasty) {
            const std::string url = FormMailtoUrl("x" + to + "x", subject);
            ASSERT_EQ(url.rfind("mailto:", 0), 0u);
            const size_t q = url.find('?');
            ASSERT_NE(q, std::string::npos);
            EXPECT_EQ(url.find('?', q + 1), std::string::npos);
            EXPECT_EQ(url.find_first_of("&# \"<>\\^`{|}+"), std::string::npos);
            EXPECT_EQ(std::count(url.begin(), url.end(), '='), 1);
            ASSERT_EQ(url.compare(q, 9, "?subject="), 0);
            for (char c : url) EXPECT_TRUE(c > 0x20 && c < 0x7F) << url;
            std::string to2, subject2;
            ASSERT_TRUE(Decode(std::string_view(url).substr(7, q - 7), to2));
            ASSERT_TRUE(Decode(std::string_view(url).substr(q + 9), subject2));
            EXPECT_EQ(to2, "x" + to + "x");
            EXPECT_EQ(subject2, subject);
        }
    }
}
