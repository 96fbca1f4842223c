// The bookmark list on screen with a 100,000-bookmark group: choosing the
// group (sort in the steady state, rows, model, paint) and the refresh after
// one bookmark is added. The floor is a bare QListView over a
// QStringListModel given the same rows as UTF-8 text, in the same run.
#include "qt_bench_main.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QStringListModel>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "gui/bookmarks/bookmark_list_page.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "app/app_root.h"
#include "core/bookmarks/bookmark_groups.h"
#include "platform/clipboard.h"
#include "platform/launcher.h"
#include "platform/x11_hotkeys.h"
#include "support/fakes.h"

using namespace meru;

namespace {

// A group as it is stored: sorted by name.
std::vector<CBookmark> Bookmarks(std::size_t n) {
    std::mt19937 rng(42);
    std::vector<CBookmark> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned k = rng() % unsigned(n);
        out.push_back({"Site " + std::to_string(k) + " - home",
                       "https://site" + std::to_string(k) + ".example/"});
    }
    std::stable_sort(out.begin(), out.end(), [](const CBookmark& a, const CBookmark& b) {
        return a.m_strName < b.m_strName;
    });
    return out;
}

struct Organiser {
    QTemporaryDir dir;
    CFakeClipboard clip;
    CFakeGlobalHotkeys keys;
    CFakeLauncher launcher;
    std::unique_ptr<CAppRoot> main;

    explicit Organiser(std::size_t n) {
        AppServices s;
        s.clipboard = &clip;
        s.hotkeys = &keys;
        s.launcher = &launcher;
        s.showMessage = [](QMessageBox::Icon, const QString&) {};
        s.exitProcess = [](int) {};
        main = std::make_unique<CAppRoot>(QStringLiteral("MERU version 2.2"),
                                          dir.filePath(QStringLiteral("bench.mer")), s);
        main->Create();
        main->m_data.m_aGroups[0].m_aBookmarks = Bookmarks(n);
        Dlg().show();
        QApplication::processEvents();
    }
    CBookmarksDlg& Dlg() { return *main->Bookmarks(); }
    void Paint() { Dlg().ListPage()->List()->viewport()->repaint(); }
};

// From an empty group to the big one: what the user waits for.
void BM_ChooseGroup(benchmark::State& state) {
    Organiser o(std::size_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        o.Dlg().SelectGroup(1);
        o.Paint();
        state.ResumeTiming();
        o.Dlg().SelectGroup(0);
        o.Paint();
    }
}

// "Url" has appended one bookmark: the refresh that sorts it in and shows it.
void BM_RefreshAfterAdd(benchmark::State& state) {
    Organiser o(std::size_t(state.range(0)));
    auto& marks = o.main->m_data.m_aGroups[0].m_aBookmarks;
    for (auto _ : state) {
        state.PauseTiming();
        std::erase_if(marks,
                      [](const CBookmark& b) { return b.m_strURL == "https://new.example/"; });
        marks.push_back({"Site 5 - new", "https://new.example/"});
        state.ResumeTiming();
        o.Dlg().RefreshWindow();
        o.Paint();
    }
}

// The floor: the same rows, ready-made in the core's form (UTF-8), turned
// into QStrings and shown in a bare list view - what any window over these
// data pays at least.
void BM_FloorListView(benchmark::State& state) {
    CBookmarkGroup g;
    g.m_aBookmarks = Bookmarks(std::size_t(state.range(0)));
    const std::vector<std::string> rows = RefreshBookmarkRows(g);
    QListView view;
    view.setUniformItemSizes(true);
    auto* model = new QStringListModel(&view);
    view.setModel(model);
    view.resize(600, 400);
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        model->setStringList({});
        view.viewport()->repaint();
        state.ResumeTiming();
        QStringList list;
        list.reserve(qsizetype(rows.size()));
        for (const std::string& r : rows)
            list.push_back(QString::fromUtf8(r.data(), qsizetype(r.size())));
        model->setStringList(list);
        view.viewport()->repaint();
    }
}

}  // namespace

BENCHMARK(BM_ChooseGroup)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterAdd)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorListView)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return meru::bench::RunQtBenchmarks(argc, argv); }
