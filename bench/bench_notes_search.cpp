// Search across a large notebook, against memmem over the same pages, and the
// building of the page-list lines.
//
// The notebook: 100,000 pages of about 1 KB of word text with CR LF line
// breaks (some accented words among them), 100 MB in all. The searched text
// sits at the very end of the last page, so every byte is scanned.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "core/notes/notes_search.h"
#include "core/notes/page_list.h"

namespace {

constexpr size_t kPageCount = 100000;
constexpr size_t kPageBytes = 1000;
const std::string kNeedle = "Zebedeo ha finito";

const std::vector<std::string>& Notebook() {
    static const std::vector<std::string> pages = [] {
        static const char* const words[] = {"appunti",
                                            "della",
                                            "settimana",
                                            "meeting",
                                            "with",
                                            "the",
                                            "team",
                                            "on",
                                            "monday",
                                            "caff\xC3\xA8",
                                            "perch\xC3\xA9",
                                            "citt\xC3\xA0",
                                            "note",
                                            "and",
                                            "ricordarsi",
                                            "di",
                                            "comprare",
                                            "latte",
                                            "pane",
                                            "call",
                                            "Mario",
                                            "at",
                                            "10:30",
                                            "progetto",
                                            "deadline",
                                            "venerd\xC3\xAC",
                                            "e",
                                            "il",
                                            "la",
                                            "un",
                                            "http://example.org/page",
                                            "TODO:",
                                            "fix",
                                            "bug",
                                            "#42",
                                            "in",
                                            "release"};
        constexpr size_t nWords = sizeof words / sizeof words[0];
        std::mt19937 rng(2314);
        std::uniform_int_distribution<size_t> pick(0, nWords - 1);
        std::uniform_int_distribution<int> lineLen(6, 14);
        std::vector<std::string> v(kPageCount);
        for (auto& page : v) {
            page.reserve(kPageBytes + 64);
            int inLine = 0, lineWords = lineLen(rng);
            while (page.size() < kPageBytes) {
                page += words[pick(rng)];
                if (++inLine == lineWords) {
                    page += "\r\n";
                    inLine = 0;
                    lineWords = lineLen(rng);
                } else {
                    page += ' ';
                }
            }
        }
        v.back() += kNeedle;
        return v;
    }();
    return pages;
}

size_t NotebookBytes() {
    size_t n = 0;
    for (const auto& p : Notebook()) n += p.size();
    return n;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// memmem over each page in turn: the floor the notes search is measured against.
size_t MemmemPages(const std::vector<std::string>& pages, const std::string& needle) {
    for (size_t i = 0; i < pages.size(); ++i)
        if (memmem(pages[i].data(), pages[i].size(), needle.data(), needle.size())) return i;
    return pages.size();
}

void BM_MemmemPages(benchmark::State& state) {
    const auto& pages = Notebook();
    for (auto _ : state) benchmark::DoNotOptimize(MemmemPages(pages, kNeedle));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * NotebookBytes()));
}
BENCHMARK(BM_MemmemPages)->Unit(benchmark::kMillisecond);

void BM_NotesSearch(benchmark::State& state) {
    const auto& pages = Notebook();
    for (auto _ : state) {
        auto hit = meru::FindForward(pages, kNeedle, 0, 0);
        if (!hit || hit->nPage != kPageCount - 1) state.SkipWithError("needle not found");
        benchmark::DoNotOptimize(hit);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * NotebookBytes()));
}
BENCHMARK(BM_NotesSearch)->Unit(benchmark::kMillisecond);

// Both searches in the same iterations, alternating, so the ratio is not
// skewed by what else the machine does meanwhile. Reported time: the notes
// search; counters: both wall times, notes / memmem on wall time (ratio) and
// on the thread's CPU time (ratio_cpu).
void BM_NotesSearchVsMemmem(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto& pages = Notebook();
    double tMemmem = 0, tNotes = 0, cMemmem = 0, cNotes = 0;
    for (auto _ : state) {
        const double c0 = ThreadCpuSeconds();
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(MemmemPages(pages, kNeedle));
        const auto t1 = Clock::now();
        const double c1 = ThreadCpuSeconds();
        auto hit = meru::FindForward(pages, kNeedle, 0, 0);
        benchmark::DoNotOptimize(hit);
        const auto t2 = Clock::now();
        const double c2 = ThreadCpuSeconds();
        if (!hit) state.SkipWithError("needle not found");
        const double s = std::chrono::duration<double>(t2 - t1).count();
        tMemmem += std::chrono::duration<double>(t1 - t0).count();
        tNotes += s;
        cMemmem += c1 - c0;
        cNotes += c2 - c1;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["memmem_ms"] = 1e3 * tMemmem / n;
    state.counters["notes_ms"] = 1e3 * tNotes / n;
    state.counters["ratio"] = tNotes / tMemmem;
    // The same on the thread's CPU time, which other programs on the machine
    // do not inflate.
    state.counters["ratio_cpu"] = cNotes / cMemmem;
}
BENCHMARK(BM_NotesSearchVsMemmem)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PageListLines(benchmark::State& state) {
    const auto& pages = Notebook();
    for (auto _ : state) {
        auto lines = meru::PageListLines(pages);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPageCount));
}
BENCHMARK(BM_PageListLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
