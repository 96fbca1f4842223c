// The contact list's refresh: sorting 100,000 contacts by name in the steady
// state (already sorted, as every refresh leaves the list) and after one
// contact has been appended, against std::sort on the same lists in the
// same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/contacts/contact_book.h"

using namespace meru;

namespace {

bool ByName(const CContact& a, const CContact& b) { return a.m_strName < b.m_strName; }

std::string RandomName(std::mt19937& rng) {
    static const char* kFirst[] = {"Mario", "Anna",  "Luca", "Giulia", "Marco", "Sara",
                                   "Paolo", "Elena", "Zoë",  "Ángel",  "bruno", "chiara"};
    std::string name;
    const int len = 4 + int(rng() % 8);
    name += char('A' + rng() % 26);
    for (int i = 1; i < len; ++i) name += char('a' + rng() % 26);
    name += ' ';
    name += kFirst[rng() % (sizeof kFirst / sizeof *kFirst)];
    return name;
}

std::vector<CContact> SortedContacts(size_t n) {
    std::mt19937 rng(42);
    std::vector<CContact> v(n);
    for (auto& c : v) {
        c.m_strName = RandomName(rng);
        c.m_strTelephone = "06 " + std::to_string(rng() % 10000000);
        c.m_strEmail = "x" + std::to_string(rng()) + "@example.org";
    }
    std::sort(v.begin(), v.end(), ByName);  // as every refresh leaves it
    return v;
}

void BM_RefreshSteady(benchmark::State& state) {
    std::vector<CContact> v = SortedContacts(size_t(state.range(0)));
    CContactBook book(v);
    book.Select(500);
    for (auto _ : state) {
        book.Refresh();
        benchmark::DoNotOptimize(book.Selected());
    }
}

void BM_StdSortSteady(benchmark::State& state) {
    std::vector<CContact> v = SortedContacts(size_t(state.range(0)));
    for (auto _ : state) {
        std::sort(v.begin(), v.end(), ByName);
        benchmark::DoNotOptimize(v.data());
    }
}

// One contact with a name from the middle of the alphabet appended to a
// sorted list, then the refresh.
template <bool kShared>
void AfterOneAdd(benchmark::State& state) {
    const std::vector<CContact> base = SortedContacts(size_t(state.range(0)));
    std::vector<CContact> v;
    CContact added;
    added.m_strName = "Mnemosine Anna";
    for (auto _ : state) {
        state.PauseTiming();
        v = base;
        v.push_back(added);
        state.ResumeTiming();
        if constexpr (kShared) {
            CContactBook book(v);
            book.Refresh();
        } else {
            std::sort(v.begin(), v.end(), ByName);
        }
        benchmark::DoNotOptimize(v.data());
    }
}

void BM_RefreshAfterOneAdd(benchmark::State& state) { AfterOneAdd<true>(state); }
void BM_StdSortAfterOneAdd(benchmark::State& state) { AfterOneAdd<false>(state); }

}  // namespace

BENCHMARK(BM_RefreshSteady)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortSteady)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterOneAdd)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortAfterOneAdd)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
