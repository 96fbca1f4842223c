// What a copy costs MERU once the text has been read: the capture and its
// publication in the clipboard window (editor, entry list) with a long
// history, and a very long copied text. Runs offscreen with the fake
// clipboard, so only MERU's own work is timed.
#include "qt_bench_main.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QStringListModel>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "app/app_root.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "platform/clipboard.h"
#include "platform/x11_hotkeys.h"
#include "bench_organiser.h"
#include "support/fakes.h"

using namespace meru;

namespace {

using bench::Organiser;

std::string Text(size_t bytes, const std::string& tag) {
    std::string t = tag + " ";
    while (t.size() < bytes) t += "caffè latte, lorem ipsum dolor sit amet ";
    t.resize(bytes);
    return t;
}

// Another program copies a new 1 KiB text while the history holds range(0)
// entries: capture, duplicate check, editor, entry list rebuilt.
void BM_CaptureWithHistory(benchmark::State& state) {
    Organiser o;
    const int n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) o.clip.Copy(Text(1024, std::to_string(i)));
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string text = Text(1024, "new " + std::to_string(k++));
        state.ResumeTiming();
        o.clip.Copy(text);
        state.PauseTiming();
        o.main->Clipboard()->DeleteCurrent();  // back to n entries
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(o.main->ClipHistory().Count()) + " entries");
}
BENCHMARK(BM_CaptureWithHistory)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// A copied text of range(0) bytes (one long line every 80 characters).
void BM_CaptureLongText(benchmark::State& state) {
    Organiser o;
    for (int i = 0; i < 10; ++i) o.clip.Copy(Text(1024, std::to_string(i)));
    std::string text;
    const size_t bytes = static_cast<size_t>(state.range(0));
    while (text.size() < bytes) text += Text(78, std::to_string(text.size())) + "\n";
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string unique = std::to_string(k++) + text;
        state.ResumeTiming();
        o.clip.Copy(unique);
        state.PauseTiming();
        o.main->Clipboard()->DeleteCurrent();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CaptureLongText)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

// Ctrl+n with a long history: only the editor, the list and the clipboard
// write; the list is rebuilt.
void BM_SelectWithHistory(benchmark::State& state) {
    Organiser o;
    const int n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) o.clip.Copy(Text(1024, std::to_string(i)));
    int k = 0;
    for (auto _ : state) o.keys.Press(1 + (k++ % 5));
    state.SetLabel(std::to_string(o.main->ClipHistory().Count()) + " entries");
}
BENCHMARK(BM_SelectWithHistory)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// The entry list alone, rebuilt with range(0) labels: item by item into an
// editable combo box's own model (with its completer), against one string
// model replaced in one go, as the window does.
QStringList Labels(int n) {
    QStringList labels;
    for (int i = 0; i < n; ++i)
        labels << QStringLiteral("%1 - caffè latte, lorem ipsum dolor").arg(i + 1).left(34);
    return labels;
}

void BM_ListRebuildItemByItem(benchmark::State& state) {
    const QStringList labels = Labels(static_cast<int>(state.range(0)));
    QComboBox combo;
    combo.setEditable(true);
    for (auto _ : state) {
        combo.clear();
        for (const QString& l : labels) combo.addItem(l);
        combo.setCurrentIndex(combo.count() - 1);
    }
}
BENCHMARK(BM_ListRebuildItemByItem)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ListRebuildModel(benchmark::State& state) {
    const QStringList labels = Labels(static_cast<int>(state.range(0)));
    QComboBox combo;
    combo.setEditable(true);
    combo.setCompleter(nullptr);
    auto* model = new QStringListModel(&combo);
    combo.setModel(model);
    for (auto _ : state) {
        model->setStringList(labels);
        combo.setCurrentIndex(combo.count() - 1);
    }
}
BENCHMARK(BM_ListRebuildModel)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return meru::bench::RunQtBenchmarks(argc, argv); }
