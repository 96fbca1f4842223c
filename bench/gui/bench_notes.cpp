// The notes window's two places where size shows: the page list of a very
// long notebook (goal: under 300 ms from opening to a painted list for 100,000
// pages) and paging through very long pages (a ShowPage of a 5 MB page must
// not stall visibly). Runs offscreen.
#include "qt_bench_main.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QPlainTextEdit>
#include <memory>
#include <string>
#include <vector>

#include "gui/kit/tool_window.h"
#include "gui/notes/meru_dlg.h"
#include "gui/notes/page_list_dlg.h"
#include "platform/launcher.h"
#include "support/fakes.h"

using namespace meru;

namespace {

std::vector<std::string> ManyPages(size_t n) {
    std::vector<std::string> pages;
    pages.reserve(n);
    for (size_t i = 0; i < n; ++i)
        pages.push_back("Page " + std::to_string(i + 1) +
                        " - a first line that is long enough to be cut at eighty characters, "
                        "really\r\nsecond line\r\n");
    return pages;
}

// About `bytes` of text in lines of 79 characters plus CR LF, some accented.
std::string LongPage(size_t bytes, char tag) {
    std::string line = "Lorem ipsum dolor sit amet, caffè latte, consectetur adipiscing elit ";
    line += tag;
    line.resize(79, '.');
    line += "\r\n";
    std::string page;
    page.reserve(bytes + line.size());
    while (page.size() < bytes) page += line;
    return page;
}

// Opening the page list and painting its first screen.
void BM_PageListOpen(benchmark::State& state) {
    const auto pages = ManyPages(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        CPageListDlg dlg;
        dlg.m_pPages = &pages;
        dlg.show();
        const QPixmap shot = dlg.List()->viewport()->grab();  // paints the visible rows
        benchmark::DoNotOptimize(shot.cacheKey());
        benchmark::DoNotOptimize(dlg.List()->model()->rowCount());
        dlg.hide();
    }
    state.SetLabel(std::to_string(pages.size()) + " pages");
}
BENCHMARK(BM_PageListOpen)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Scrolling to the end of the list.
void BM_PageListScrollToEnd(benchmark::State& state) {
    const auto pages = ManyPages(100000);
    CPageListDlg dlg;
    dlg.m_pPages = &pages;
    dlg.show();
    for (auto _ : state) {
        dlg.List()->scrollToBottom();
        const QPixmap shot = dlg.List()->viewport()->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
        dlg.List()->scrollToTop();
    }
}
BENCHMARK(BM_PageListScrollToEnd)->Unit(benchmark::kMillisecond)->Iterations(5);

// A notes window over two pages of `mb` MB each.
struct LongPages {
    CFakeLauncher launcher;
    std::vector<std::string> pages;
    std::unique_ptr<CPageStore> store;
    std::unique_ptr<CMeruDlg> notes;
    explicit LongPages(size_t bytes) {
        pages = {LongPage(bytes, 'A'), LongPage(bytes, 'B')};
        store = std::make_unique<CPageStore>(pages);
        notes = std::make_unique<CMeruDlg>(ToolWindowContext{}, *store, QStringLiteral("bench.mer"),
                                           launcher);
        notes->Create();
        notes->show();
        notes->FinishLoading();
    }
};

// ShowPage between two 5 MB pages until the first screen is painted (the
// rest of the page follows in steps from the event loop).
void BM_ShowPageLong(benchmark::State& state) {
    LongPages w(static_cast<size_t>(state.range(0)) * 1024 * 1024);
    int n = 1;
    for (auto _ : state) {
        n = 3 - n;
        w.notes->ShowPage(n);
        const QPixmap shot = w.notes->Editor()->viewport()->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
        state.PauseTiming();
        w.notes->FinishLoading();
        state.ResumeTiming();
    }
    state.SetLabel("MB pages, ms per ShowPage to the first screen");
}
BENCHMARK(BM_ShowPageLong)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(6);

// The same until the whole page is in the editor.
void BM_ShowPageLongFullyLoaded(benchmark::State& state) {
    LongPages w(static_cast<size_t>(state.range(0)) * 1024 * 1024);
    int n = 1;
    for (auto _ : state) {
        n = 3 - n;
        w.notes->ShowPage(n);
        w.notes->FinishLoading();
        const QPixmap shot = w.notes->Editor()->viewport()->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
    state.SetLabel("MB pages, ms per ShowPage, whole page loaded");
}
BENCHMARK(BM_ShowPageLongFullyLoaded)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(6);

// Paging away from an edited 5 MB page: the commit, then the next page.
void BM_ShowPageLongAfterEdit(benchmark::State& state) {
    LongPages w(static_cast<size_t>(state.range(0)) * 1024 * 1024);
    int n = 1;
    for (auto _ : state) {
        n = 3 - n;
        state.PauseTiming();
        w.notes->FinishLoading();
        w.notes->Editor()->insertPlainText(QStringLiteral("x"));  // an edit to commit
        state.ResumeTiming();
        w.notes->ShowPage(n);
        const QPixmap shot = w.notes->Editor()->viewport()->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
    state.SetLabel("MB pages, ms per commit + ShowPage to the first screen");
}
BENCHMARK(BM_ShowPageLongAfterEdit)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(6);

// Committing an edit of a 5 MB page.
void BM_CommitLong(benchmark::State& state) {
    LongPages w(static_cast<size_t>(state.range(0)) * 1024 * 1024);
    for (auto _ : state) {
        state.PauseTiming();
        w.notes->Editor()->insertPlainText(QStringLiteral("x"));
        state.ResumeTiming();
        w.notes->CommitPage();
    }
}
BENCHMARK(BM_CommitLong)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(6);

// The same with ordinary pages, for comparison.
void BM_ShowPageShort(benchmark::State& state) {
    CFakeLauncher launcher;
    std::vector<std::string> pages = {LongPage(4000, 'A'), LongPage(4000, 'B')};
    CPageStore store(pages);
    CMeruDlg notes(ToolWindowContext{}, store, QStringLiteral("bench.mer"), launcher);
    notes.Create();
    notes.show();
    int n = 1;
    for (auto _ : state) {
        n = 3 - n;
        notes.Editor()->insertPlainText(QStringLiteral("x"));
        notes.ShowPage(n);
        const QPixmap shot = notes.Editor()->viewport()->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
}
BENCHMARK(BM_ShowPageShort)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return meru::bench::RunQtBenchmarks(argc, argv); }
