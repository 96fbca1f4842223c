// The contacts window with 100,000 contacts: built and painted on screen,
// re-sorted and repainted after one add, switching the second column, and
// scrolling a page. Offscreen, so only MERU's own work is timed.
#include "qt_bench_main.h"
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/contacts/contact_book.h"
#include "gui/contacts/contacts_dlg.h"
#include "platform/clipboard.h"
#include "support/fakes.h"

using namespace meru;

namespace {

std::vector<CContact> SortedContacts(size_t n) {
    std::mt19937 rng(42);
    std::vector<CContact> v(n);
    for (auto& c : v) {
        const int len = 4 + int(rng() % 8);
        c.m_strName += char('A' + rng() % 26);
        for (int i = 1; i < len; ++i) c.m_strName += char('a' + rng() % 26);
        c.m_strName += " Anna";
        c.m_strTelephone = "06 " + std::to_string(rng() % 10000000);
        c.m_strEmail = "x" + std::to_string(rng()) + "@example.org";
        c.m_strCellular = "347 " + std::to_string(rng() % 10000000);
    }
    std::sort(v.begin(), v.end(),
              [](const CContact& a, const CContact& b) { return a.m_strName < b.m_strName; });
    return v;
}

// What the window needs around it: a clipboard, a version text.
struct Behind {
    CFakeClipboard clip;
    ToolWindowContext ctx{QStringLiteral("MERU version 2.2"), [](int) {}, nullptr, nullptr};
};

std::unique_ptr<CContactsDlg> MakeWindow(Behind& b, std::vector<CContact>& contacts,
                                         MailSettings& mail) {
    ContactsServices s;
    s.clipboard = &b.clip;
    auto dlg =
        std::make_unique<CContactsDlg>(b.ctx, contacts, mail, QStringLiteral("bench.mer"), s);
    dlg->Create();
    return dlg;
}

void Paint(QWidget* w) {
    QApplication::processEvents();
    w->repaint();
}

// From nothing to the window with its list painted: construction, the first
// refresh (sort of an already sorted list), show, layout and paint.
void BM_WindowOnScreen(benchmark::State& state) {
    Behind b;
    std::vector<CContact> contacts = SortedContacts(size_t(state.range(0)));
    MailSettings mail;
    for (auto _ : state) {
        auto dlg = MakeWindow(b, contacts, mail);
        dlg->show();
        Paint(dlg.get());
        state.PauseTiming();
        dlg.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

// A contact appended, then the window's refresh and repaint.
void BM_AddRefreshRepaint(benchmark::State& state) {
    Behind b;
    std::vector<CContact> contacts = SortedContacts(size_t(state.range(0)));
    MailSettings mail;
    auto dlg = MakeWindow(b, contacts, mail);
    dlg->show();
    Paint(dlg.get());
    dlg->SelectRow(10);
    CContact added;
    added.m_strName = "Mnemosine Anna";
    for (auto _ : state) {
        contacts.push_back(added);
        dlg->Refresh();
        Paint(dlg.get());
        state.PauseTiming();
        const auto it = std::find(contacts.begin(), contacts.end(), added);
        contacts.erase(it);
        dlg->Refresh();
        state.ResumeTiming();
    }
}

void BM_SwitchColumn(benchmark::State& state) {
    Behind b;
    std::vector<CContact> contacts = SortedContacts(size_t(state.range(0)));
    MailSettings mail;
    auto dlg = MakeWindow(b, contacts, mail);
    dlg->show();
    Paint(dlg.get());
    int mode = 0;
    for (auto _ : state) {
        mode = (mode + 1) % 3;
        dlg->SetColumnMode(mode);
        Paint(dlg.get());
    }
}

void BM_ScrollPage(benchmark::State& state) {
    Behind b;
    std::vector<CContact> contacts = SortedContacts(size_t(state.range(0)));
    MailSettings mail;
    auto dlg = MakeWindow(b, contacts, mail);
    dlg->show();
    Paint(dlg.get());
    QScrollBar* bar = dlg->List()->verticalScrollBar();
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum()) next = 0;
        bar->setValue(next);
        Paint(dlg.get());
    }
}

}  // namespace

BENCHMARK(BM_WindowOnScreen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddRefreshRepaint)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchColumn)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollPage)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return meru::bench::RunQtBenchmarks(argc, argv); }
