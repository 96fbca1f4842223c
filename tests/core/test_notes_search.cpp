#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/notes/notes_search.h"
#include "core/notes/page_store.h"

using namespace meru;

namespace meru {
void PrintTo(const SearchHit& h, std::ostream* os) {
    *os << "page " << h.nPage << " [" << h.nBegin << ", " << h.nEnd << ")";
}
}  // namespace meru

namespace {
const std::vector<std::string> kPages = {
    "alpha beta\r\ngamma beta",           // page 1
    "delta beta",                         // page 2
    "ABC only upper",                     // page 3
    "\xC3\xA9p\xC3\xA9\x65 caf\xC3\xA9",  // page 4: "épée café"
};
}  // namespace

TEST(NotesSearch, OnePassFromAPageAndPosition) {
    struct Case {
        const char* what;
        std::string find;
        size_t page, byte;
        std::optional<SearchHit> hit;
    };
    const Case cases[] = {
        {"first match", "beta", 0, 0, SearchHit{0, 6, 10}},
        {"from a match's end: the next one", "beta", 0, 10, SearchHit{0, 18, 22}},
        {"next page searched from its start", "beta", 0, 22, SearchHit{1, 6, 10}},
        {"only before the start: none to the end", "beta", 1, 10, std::nullopt},
        {"start beyond the page: next page", "delta", 0, 500, SearchHit{1, 0, 5}},
        {"start past the last page's end", "beta", 3, 500, std::nullopt},
        {"case-sensitive", "abc", 0, 0, std::nullopt},
        {"case-sensitive, exact case", "ABC", 0, 0, SearchHit{2, 0, 3}},
        {"empty text matches at the start", "", 1, 3, SearchHit{1, 3, 3}},
        {"non-ASCII", "caf\xC3\xA9", 0, 0, SearchHit{3, 7, 12}},
        {"from inside a character", "\xC3\xA9\x65", 3, 1, SearchHit{3, 3, 6}},
        {"never a tail byte alone", "\xA9", 0, 0, std::nullopt},
        {"never a lead byte alone", "\xC3", 0, 0, std::nullopt},
        {"line break is CR LF in the store", "beta\r\ngamma", 0, 0, SearchHit{0, 6, 17}},
        {"page index beyond the store", "beta", 9, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FindForward(kPages, c.find, c.page, c.byte), c.hit);
    }
}

// The notes window's loop: a search from the caret; when nothing is found to
// the last page, the user is asked, and each "yes" searches from page 1.
TEST(NotesSearch, WrapAroundIsAStepTheCallerDrives) {
    std::vector<std::string> pages = {"x needle", "nothing", "needle here, caret after it"};
    CPageStore store(pages);
    ASSERT_TRUE(store.ShowPage(3));
    const size_t caret = 20;  // after the only match on page 3

    // Page 3 holds it only before the caret: nothing without the question...
    EXPECT_EQ(store.SearchFromCurrent("needle", caret), std::nullopt);
    // ...and page 1 holds it, so "yes" finds it there first.
    const auto hit = store.SearchFromFirstPage("needle");
    ASSERT_TRUE(hit);
    EXPECT_EQ(*hit, (SearchHit{0, 2, 8}));

    // A text found nowhere: every pass ends in the question again.
    int questions = 0;
    std::optional<SearchHit> miss = store.SearchFromCurrent("absent", 0);
    while (!miss && questions < 3) {
        ++questions;  // the user keeps answering yes
        miss = store.SearchFromFirstPage("absent");
    }
    EXPECT_FALSE(miss);
    EXPECT_EQ(questions, 3);
}

TEST(NotesSearch, RepeatedSearchWalksThroughEveryMatch) {
    const std::vector<std::string> pages = {"ab ab", "", "xab", "ab"};
    std::vector<SearchHit> seen;
    size_t page = 0, from = 0;
    for (int i = 0; i < 6; ++i) {
        auto hit = FindForward(pages, "ab", page, from);
        if (!hit) hit = FindForward(pages, "ab", 0, 0);  // answered yes
        ASSERT_TRUE(hit);
        seen.push_back(*hit);
        page = hit->nPage;
        from = hit->nEnd;
    }
    const std::vector<SearchHit> expected = {{0, 0, 2}, {0, 3, 5}, {2, 1, 3},
                                             {3, 0, 2}, {0, 0, 2}, {0, 3, 5}};
    EXPECT_EQ(seen, expected);
}

// The shift-table search against the plain library search, on texts over
// small ASCII alphabets (a new one each round, so pairs of bytes share hashes
// now and then) where partial matches abound.
TEST(NotesSearch, FinderAgreesWithPlainSearch) {
    std::mt19937 rng(2314);
    std::uniform_int_distribution<int> ascii(1, 127), pick(0, 2), len(0, 60), nlen(1, 12);
    for (int round = 0; round < 3000; ++round) {
        const char alphabet[3] = {static_cast<char>(ascii(rng)), static_cast<char>(ascii(rng)),
                                  static_cast<char>(ascii(rng))};
        std::string text, needle;
        for (int i = len(rng); i > 0; --i) text.push_back(alphabet[pick(rng)]);
        for (int i = nlen(rng); i > 0; --i) needle.push_back(alphabet[pick(rng)]);
        const CTextFinder finder(needle);
        for (size_t from = 0; from <= text.size() + 1; ++from)
            ASSERT_EQ(finder.Find(text, from), std::string_view(text).find(needle, from))
                << text << " / " << needle << " from " << from;
    }
}
