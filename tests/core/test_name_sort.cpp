#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/common/name_sort.h"

using namespace meru;

namespace {

struct Item {
    std::string name;
    int id;
};

const std::string& NameOf(const Item& item) { return item.name; }

// Byte-wise "greater", written out so the reference does not lean on the
// same std::string ordering as the code under test.
bool Greater(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    return c > 0 || (c == 0 && a.size() > b.size());
}

// The exchange sort exactly as the original runs it.
void ExchangeSort(std::vector<Item>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i; j < n; ++j)
            if (Greater(a[i].name, a[j].name)) std::swap(a[i], a[j]);
}

std::vector<int> Ids(const std::vector<Item>& a) {
    std::vector<int> ids;
    for (const Item& item : a) ids.push_back(item.id);
    return ids;
}

std::vector<Item> Make(const std::vector<std::string>& names) {
    std::vector<Item> out;
    for (const std::string& n : names) out.push_back({n, static_cast<int>(out.size())});
    return out;
}

void ExpectSameAsExchangeSort(std::vector<Item> items) {
    std::vector<Item> expected = items;
    ExchangeSort(expected);
    SortByName(items, NameOf);
    ASSERT_EQ(Ids(items), Ids(expected));
}

}  // namespace

// Random lists drawn from few names, so that most lists hold many equal
// names, mixed with lists that are sorted, sorted with entries appended,
// reversed, or a sorted run with a few swaps. The ids must come out in the
// same order as the exchange sort leaves them.
TEST(NameSort, SameOrderAsTheExchangeSortOnRandomLists) {
    std::mt19937 rng(20261210);
    // Bytes above 0x7F included: they sort after ASCII.
    const std::vector<std::string> pool = {"",   "a",        "b",         "ab", "B",
                                           "aa", "\xC3\xA4", "a\xC3\xA4", "z"};
    for (int round = 0; round < 6000; ++round) {
        const std::size_t n = rng() % 40;
        const std::size_t alphabet = 1 + rng() % pool.size();
        std::vector<std::string> names;
        for (std::size_t k = 0; k < n; ++k) names.push_back(pool[rng() % alphabet]);
        std::vector<Item> items = Make(names);

        switch (round % 4) {
            case 0: break;  // as drawn
            case 1: {       // sorted by the reference, then a few appended
                ExchangeSort(items);
                const std::size_t extra = rng() % 4;
                for (std::size_t k = 0; k < extra; ++k)
                    items.push_back({pool[rng() % alphabet], static_cast<int>(items.size())});
                break;
            }
            case 2:  // reversed order of a sorted list
                ExchangeSort(items);
                std::reverse(items.begin(), items.end());
                break;
            case 3:  // sorted, then a couple of random exchanges
                ExchangeSort(items);
                for (int k = 0; k < 2 && items.size() > 1; ++k)
                    std::swap(items[rng() % items.size()], items[rng() % items.size()]);
                break;
        }
        SCOPED_TRACE(round);
        ExpectSameAsExchangeSort(items);
        if (HasFatalFailure()) return;
    }
}

// Longer lists, where the tree under the search has several levels.
TEST(NameSort, SameOrderAsTheExchangeSortOnLongLists) {
    std::mt19937 rng(7);
    for (std::size_t n : {100u, 257u, 1000u}) {
        for (std::size_t alphabet : {2u, 10u, 1000u}) {
            std::vector<std::string> names;
            for (std::size_t k = 0; k < n; ++k)
                names.push_back("n" + std::to_string(rng() % alphabet));
            SCOPED_TRACE(n * 10000 + alphabet);
            ExpectSameAsExchangeSort(Make(names));

            // Sorted, plus one entry appended, as after adding one entry.
            std::vector<Item> sorted = Make(names);
            ExchangeSort(sorted);
            sorted.push_back({"n" + std::to_string(rng() % alphabet), -1});
            ExpectSameAsExchangeSort(sorted);
        }
    }
}

// Equal names are not kept in their first order: the exchanges decide it.
// An entry appended to a sorted list reverses the run of equal names it
// jumps over. Written out so the expected order is visible.
TEST(NameSort, EqualNamesEndInTheExchangeOrder) {
    std::vector<Item> items = Make({"A", "B", "B", "C", "A"});
    SortByName(items, NameOf);
    EXPECT_EQ(Ids(items), (std::vector<int>{0, 4, 2, 1, 3}));

    std::vector<Item> same = Make({"x", "x", "x"});
    SortByName(same, NameOf);
    EXPECT_EQ(Ids(same), (std::vector<int>{0, 1, 2}));
}

// A long sorted run with a long unsorted tail: both parts of the work, the
// steps in the sorted part and those in the tail, meet.
TEST(NameSort, SameOrderWithALongSortedPartAndALongTail) {
    std::mt19937 rng(99);
    for (std::size_t tail : {2u, 31u, 300u}) {
        std::vector<std::string> names;
        for (int k = 0; k < 700; ++k)
            names.push_back(std::string(1, char('a' + rng() % 6)) + char('a' + rng() % 3));
        std::vector<Item> items = Make(names);
        ExchangeSort(items);
        for (std::size_t k = 0; k < tail; ++k)
            items.push_back(
                {std::string(1, char('a' + rng() % 7)), static_cast<int>(items.size())});
        SCOPED_TRACE(tail);
        ExpectSameAsExchangeSort(items);
    }
}
