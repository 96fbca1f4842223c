#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/notes/page_list.h"

using namespace meru;

namespace {
std::string Rep(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}
const std::string kE = "\xC3\xA8";              // one character, two bytes
const std::string kEmoji = "\xF0\x9F\x98\x80";  // one character, four bytes
}  // namespace

TEST(NotesPageList, LineOfAPage) {
    struct Case {
        const char* what;
        size_t n;
        std::string page, line;
    };
    const Case cases[] = {
        {"first line is a word", 1, "Hello\r\nworld", "1\tHello"},
        {"30 characters, no line break", 2, Rep("x", 30), "2\t" + Rep("x", 30) + "..."},
        {"first line of 100 characters", 3, Rep("y", 100) + "\r\nz", "3\t" + Rep("y", 80) + "..."},
        {"line break just beyond the 80 characters", 4, Rep("w", 79) + "\r\nz",
         "4\t" + Rep("w", 79) + "\r..."},
        {"line break right at the 80 characters", 5, Rep("w", 78) + "\r\nz", "5\t" + Rep("w", 78)},
        {"begins with a line break", 6, "\r\nrest", "6\t"},
        {"empty page", 7, "", "7\t..."},
        {"characters, not bytes", 8, Rep(kE, 100), "8\t" + Rep(kE, 80) + "..."},
        {"an emoji is one character", 9, Rep(kEmoji, 81), "9\t" + Rep(kEmoji, 80) + "..."},
        {"a lone LF keeps the character before it", 10, "abc\ndef", "10\tabc"},
        {"a tab in the text stays", 12345, "a\tb", "12345\ta\tb..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PageListLine(c.n, c.page), c.line);
    }
}

TEST(NotesPageList, OneLinePerPageNumberedFromOne) {
    const std::vector<std::string> pages = {"a\r\nb", "", "c"};
    const std::vector<std::string> expected = {"1\ta", "2\t...", "3\tc..."};
    EXPECT_EQ(PageListLines(pages), expected);
}
