// A huge clipboard entry in the clipboard window: how long the event loop is
// blocked at a time while it is shown. Each iteration times, offscreen with
// the fake clipboard and shortcuts:
//   select   Ctrl+2 makes the huge entry current (editor, list, clipboard)
//   step     every turn of the event loop until the editor holds it all
//   key      one key typed at its start once it is all there (the entry's
//            label follows the edit)
// Apart from these, key_while_loading_ms is one key typed before the editor
// holds it all: it goes into the part shown and the rest keeps arriving after
// it (counted in longest_ms too).
// The goal is no single one over 100 ms (longest_ms; x_goal = longest / 100
// ms). Each is timed on the wall clock and as the CPU time of the GUI thread
// (*_cpu_ms): on a shared machine the wall time includes waiting for a core.
// As a floor, step_floor_ms is one bare QPlainTextEdit taking a slice of the
// same size as the window's loader does (x_step_floor = the longest step
// against it).
#include "qt_bench_main.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>

#include "app/app_root.h"
#include "core/notes/page_store.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/kit/editor_text.h"
#include "gui/kit/menu177.h"
#include "gui/kit/step_loader.h"
#include "platform/clipboard.h"
#include "platform/x11_hotkeys.h"
#include "bench_organiser.h"
#include "support/fakes.h"

using namespace meru;

namespace {

using bench::Organiser;

// Lines of about 80 characters of mixed Italian text, CR LF between them.
std::string HugeText(size_t bytes) {
    std::string t;
    t.reserve(bytes + 128);
    for (size_t line = 0; t.size() < bytes; ++line)
        t += "riga " + std::to_string(line) +
             " caff\xC3\xA8 gi\xC3\xA0 perch\xC3\xA9 \xE2\x82\xAC lorem ipsum dolor sit amet\r\n";
    return t;
}

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the event loop until `done` or 120 s; false on the time-out.
template <class F>
bool SpinUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 120000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void BM_HugeEntrySteps(benchmark::State& state) {
    const std::string huge = HugeText(static_cast<size_t>(state.range(0)));
    const int expectedChars =
        static_cast<int>(FromUtf8(StoredToEditorText(huge)).size()) + 1;  // + the final block end
    Organiser o;
    o.clip.Copy("small one");
    o.clip.Copy(huge);
    o.clip.Copy("small two");
    o.main->OnCommand(ID_CLIPBOARD_OPEN);
    CClipboardDlg* dlg = o.main->Clipboard();
    if (!SpinUntil([&] { return dlg->isVisible(); })) {
        state.SkipWithError("the window does not show");
        return;
    }
    auto* ed = dlg->findChild<QPlainTextEdit*>(QString::number(CClipboardDlg::IDC_EDITOR));

    // The floor: one slice of the loader's size into a bare editor.
    double floor = 1e300;
    {
        QPlainTextEdit bare;
        bare.resize(ed->size());
        bare.show();
        const QString slice = FromUtf8(
            StoredToEditorText(std::string_view(huge).substr(0, CStepTextLoader::kStepBytes)));
        for (int k = 0; k < 5; ++k) {
            bare.clear();
            QElapsedTimer t;
            t.start();
            QTextCursor(bare.document()).insertText(slice);
            QCoreApplication::processEvents();
            floor = std::min(floor, Ms(t));
        }
    }

    double select = 0, longestStep = 0, key = 0, longest = 0;
    double selectCpu = 0, longestStepCpu = 0, keyCpu = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        o.keys.Press(1);  // a small entry first, so Ctrl+2 loads the huge one anew
        SpinUntil([&] { return ed->document()->characterCount() < 100; });

        QElapsedTimer t;
        t.start();
        double c0 = ThreadCpuMs();
        o.keys.Press(2);
        QCoreApplication::processEvents();
        const double sel = Ms(t), selCpu = ThreadCpuMs() - c0;

        double worst = 0, worstCpu = 0;
        QElapsedTimer all;
        all.start();
        while (ed->document()->characterCount() < expectedChars && all.elapsed() < 600000) {
            t.restart();
            c0 = ThreadCpuMs();
            QCoreApplication::processEvents();
            worst = std::max(worst, Ms(t));
            worstCpu = std::max(worstCpu, ThreadCpuMs() - c0);
            ++steps;
        }
        if (ed->document()->characterCount() != expectedChars) {
            state.SkipWithError("the entry was not shown whole");
            return;
        }

        ed->moveCursor(QTextCursor::Start);
        t.restart();
        c0 = ThreadCpuMs();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
        QApplication::sendEvent(ed, &press);
        QApplication::sendEvent(ed, &release);
        QCoreApplication::processEvents();
        const double k = Ms(t), kCpu = ThreadCpuMs() - c0;
        if (!dlg->EntryList()->itemText(1).startsWith(QStringLiteral("2 - zriga 0"))) {
            state.SkipWithError("the label does not follow the edit");
            return;
        }

        select = std::max(select, sel);
        longestStep = std::max(longestStep, worst);
        key = std::max(key, k);
        longest = std::max({longest, sel, worst, k});
        selectCpu = std::max(selectCpu, selCpu);
        longestStepCpu = std::max(longestStepCpu, worstCpu);
        keyCpu = std::max(keyCpu, kCpu);
        state.SetIterationTime((sel + Ms(all) + k) / 1e3);
    }
    // A key typed while the entry is still arriving.
    o.keys.Press(1);
    SpinUntil([&] { return ed->document()->characterCount() < 100; });
    o.keys.Press(2);
    QCoreApplication::processEvents();
    ed->moveCursor(QTextCursor::Start);
    QElapsedTimer t;
    t.start();
    const double c0 = ThreadCpuMs();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
    QApplication::sendEvent(ed, &press);
    state.counters["key_while_loading_ms"] = Ms(t);
    state.counters["key_while_loading_cpu_ms"] = ThreadCpuMs() - c0;
    const double keyWhileLoading = Ms(t);
    if (ed->document()->characterAt(0) != QChar(u'z') ||
        ed->document()->characterCount() >= expectedChars + 1)
        state.SkipWithError("the key did not go into the part shown");
    SpinUntil([&] { return ed->document()->characterCount() == expectedChars + 1; });
    longest = std::max(longest, keyWhileLoading);

    state.counters["select_ms"] = select;
    state.counters["longest_step_ms"] = longestStep;
    state.counters["key_ms"] = key;
    state.counters["longest_ms"] = longest;
    state.counters["x_goal"] = longest / 100.0;
    state.counters["select_cpu_ms"] = selectCpu;
    state.counters["longest_step_cpu_ms"] = longestStepCpu;
    state.counters["key_cpu_ms"] = keyCpu;
    state.counters["step_floor_ms"] = floor;
    state.counters["x_step_floor"] = longestStep / floor;
    state.counters["turns"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_HugeEntrySteps)
    ->Arg(100 << 20)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return meru::bench::RunQtBenchmarks(argc, argv); }
