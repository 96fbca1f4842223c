// Capture into a long clipboard history: the duplicate check against 10,000
// entries and the publication that follows (labels for the entry list).
#include <benchmark/benchmark.h>

#include <string>

#include "core/clipboard/clip_history.h"

using namespace meru;

namespace {

constexpr int kEntries = 10000;
constexpr size_t kBig = 1 << 20;  // 1 MiB

// Entries of 1 KiB, all distinct, every hundredth one 1 MiB long and sharing
// all but its last bytes with the others of that size (the hard case for a
// byte-by-byte comparison).
CClipHistory MakeHistory() {
    CClipHistory h;
    for (int i = 0; i < kEntries; ++i) {
        const std::string tag = std::to_string(i);
        std::string text(i % 100 == 0 ? kBig : 1024, 'x');
        text.replace(text.size() - tag.size(), tag.size(), tag);
        h.CaptureClipboard(text);
    }
    return h;
}

std::string BigText(const std::string& tail) {
    std::string text(kBig, 'x');
    text.replace(text.size() - tail.size(), tail.size(), tail);
    return text;
}

void BM_CaptureNew1MiB(benchmark::State& state) {
    CClipHistory h = MakeHistory();
    const std::string text = BigText("new!");
    for (auto _ : state) {
        ClipCapture c = h.CaptureClipboard(text);
        benchmark::DoNotOptimize(c);
        state.PauseTiming();
        h.DeleteCurrent();  // back to 10,000 entries
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBig));
}
BENCHMARK(BM_CaptureNew1MiB)->Unit(benchmark::kMillisecond);

void BM_CaptureDuplicate1MiB(benchmark::State& state) {
    CClipHistory h = MakeHistory();
    const std::string text = BigText(std::to_string(kEntries - 100));  // equal to a late entry
    for (auto _ : state) {
        ClipCapture c = h.CaptureClipboard(text);
        if (c.eResult != CaptureResult::Duplicate) state.SkipWithError("not seen as a duplicate");
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_CaptureDuplicate1MiB)->Unit(benchmark::kMillisecond);

void BM_CaptureNewShort(benchmark::State& state) {
    CClipHistory h = MakeHistory();
    const std::string text = "a short copied word";
    for (auto _ : state) {
        ClipCapture c = h.CaptureClipboard(text);
        benchmark::DoNotOptimize(c);
        state.PauseTiming();
        h.DeleteCurrent();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CaptureNewShort)->Unit(benchmark::kMicrosecond);

// For comparison: the plain byte-by-byte check against every entry, which the
// per-entry hashes replace (the 1 MiB entries differ only in their last bytes).
void BM_PlainScan1MiB(benchmark::State& state) {
    CClipHistory h = MakeHistory();
    const std::string text = BigText("new!");
    for (auto _ : state) {
        bool found = false;
        for (const std::string& e : h.History()) found = found || e == text;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_PlainScan1MiB)->Unit(benchmark::kMillisecond);

// The entry list the clipboard window rebuilds after each capture.
void BM_Labels10000(benchmark::State& state) {
    CClipHistory h = MakeHistory();
    for (auto _ : state) {
        auto labels = h.Labels();
        benchmark::DoNotOptimize(labels);
    }
}
BENCHMARK(BM_Labels10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
