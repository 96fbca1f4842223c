// Sorting a group by name at every refresh of the list: SortByName against
// the exchange sort it reproduces (on a tenth of the entries, which is all
// it can manage) and against std::sort (the floor: any comparison sort) on
// the same 100,000 entries. Two cases: the steady state (already sorted, as
// at every refresh after the first), one entry appended after "Url", and a
// list in no order at all (a large import), where names repeat.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/bookmarks/bookmark.h"
#include "core/bookmarks/bookmark_groups.h"
#include "core/common/name_sort.h"

using namespace meru;

namespace {

const std::string& NameOf(const CBookmark& b) { return b.m_strName; }

// Names like a real collection: many sites, some names repeated.
std::vector<CBookmark> Bookmarks(std::size_t n) {
    std::mt19937 rng(42);
    std::vector<CBookmark> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned k = rng() % unsigned(n);
        out.push_back({"Site " + std::to_string(k) + " - home",
                       "https://site" + std::to_string(k) + ".example/"});
    }
    return out;
}

void ExchangeSort(std::vector<CBookmark>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i; j < n; ++j)
            if (a[i].m_strName > a[j].m_strName) std::swap(a[i], a[j]);
}

// Sorted by name (equal names in any order: every such list is one the
// exchange sort leaves alone).
std::vector<CBookmark> Sorted(std::size_t n) {
    std::vector<CBookmark> v = Bookmarks(n);
    std::stable_sort(v.begin(), v.end(), [](const CBookmark& a, const CBookmark& b) {
        return a.m_strName < b.m_strName;
    });
    return v;
}

// A sorted group plus one new entry whose name falls in the middle.
std::vector<CBookmark> SortedPlusOne(std::size_t n) {
    std::vector<CBookmark> v = Sorted(n);
    v.push_back({"Site 5 - new", "https://new.example/"});
    return v;
}

enum Algo { kNameSort, kExchange, kStdSort };
enum Case { kSorted, kAppended, kShuffled };

void Run(benchmark::State& state, Algo algo, Case what) {
    const std::size_t n = std::size_t(state.range(0));
    const std::vector<CBookmark> start = what == kSorted     ? Sorted(n)
                                         : what == kAppended ? SortedPlusOne(n)
                                                             : Bookmarks(n);
    std::vector<CBookmark> v = start;
    for (auto _ : state) {
        if (what != kSorted) {  // each round starts from the unsorted list again
            state.PauseTiming();
            v = start;
            state.ResumeTiming();
        }
        switch (algo) {
            case kNameSort: SortByName(v, NameOf); break;
            case kExchange: ExchangeSort(v); break;
            case kStdSort:
                std::sort(v.begin(), v.end(), [](const CBookmark& a, const CBookmark& b) {
                    return a.m_strName < b.m_strName;
                });
                break;
        }
        benchmark::DoNotOptimize(v.data());
    }
}

void BM_NameSort_Sorted(benchmark::State& s) { Run(s, kNameSort, kSorted); }
void BM_NameSort_OneAppended(benchmark::State& s) { Run(s, kNameSort, kAppended); }
void BM_NameSort_Shuffled(benchmark::State& s) { Run(s, kNameSort, kShuffled); }
void BM_ExchangeSort_Sorted(benchmark::State& s) { Run(s, kExchange, kSorted); }
void BM_ExchangeSort_OneAppended(benchmark::State& s) { Run(s, kExchange, kAppended); }
void BM_ExchangeSort_Shuffled(benchmark::State& s) { Run(s, kExchange, kShuffled); }
void BM_StdSort_Sorted(benchmark::State& s) { Run(s, kStdSort, kSorted); }
void BM_StdSort_OneAppended(benchmark::State& s) { Run(s, kStdSort, kAppended); }
void BM_StdSort_Shuffled(benchmark::State& s) { Run(s, kStdSort, kShuffled); }

// The whole refresh of the core: sort plus the "%d. %s" rows.
void BM_RefreshRows_Sorted(benchmark::State& state) {
    CBookmarkGroup g;
    g.m_aBookmarks = Sorted(std::size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(RefreshBookmarkRows(g));
}

}  // namespace

BENCHMARK(BM_NameSort_Sorted)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameSort_OneAppended)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSort_Sorted)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSort_OneAppended)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSort_Sorted)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSort_OneAppended)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameSort_Shuffled)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSort_Shuffled)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSort_Shuffled)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshRows_Sorted)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
