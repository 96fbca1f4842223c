// The notes window: paging and its indicator, Clear, the insertions, text kept
// through every way of leaving the window, search, page list, URL and MAIL
// hand-offs and printing.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QContextMenuEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QtTest>
#include <functional>
#include <memory>

#include "gui/kit/window_tray.h"
#include "gui/mail/mail_compose_dlg.h"
#include "gui/notes/confirm_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "gui/notes/page_list_dlg.h"
#include "platform/launcher.h"
#include "gui/tray/system_tray.h"

#include "support/when_modal.h"
#include "support/fakes.h"
#include "support/main_fixture.h"

using namespace meru;
using meru::test::WhenModal;

namespace {

using Pages = std::vector<std::string>;

// A notes window over `pages` with a recording launcher.
struct Fixture {
    CFakeLauncher launcher;
    Pages pages;
    CPageStore store;
    std::unique_ptr<CMeruDlg> notes;
    int confirmations = 0;
    int wrapQuestions = 0;

    explicit Fixture(Pages p) : pages(std::move(p)), store(pages) {
        ToolWindowContext ctx;
        ctx.strVersion = QStringLiteral("MERU version 2.2");
        notes = std::make_unique<CMeruDlg>(ctx, store, QStringLiteral("/data/meru.mer"), launcher);
        notes->Create();
        notes->m_fnConfirmClear = [this](bool&) {
            ++confirmations;
            return true;
        };
        notes->m_fnAskWrapAround = [this] {
            ++wrapQuestions;
            return false;
        };
        notes->show();
        notes->activateWindow();
        bActive = QTest::qWaitForWindowActive(notes.get());
    }
    bool bActive = false;
    QPlainTextEdit* Editor() const { return notes->Editor(); }
    QString Label() const { return notes->PageIndicator()->text(); }
    void Click(int id) const { QTest::mouseClick(notes->Button(id), Qt::LeftButton); }
    void Type(const QString& text) const {
        Editor()->setFocus();
        Editor()->insertPlainText(text);
    }
    void SetCaret(int anchor, int pos) const {
        QTextCursor c = Editor()->textCursor();
        c.setPosition(anchor);
        c.setPosition(pos, QTextCursor::KeepAnchor);
        Editor()->setTextCursor(c);
    }
};

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

std::string Underscores() { return std::string(102, '_'); }

// The text of a PDF, NFKC-normalised, white space collapsed (wrapping moves
// the line breaks).
QString PdfText(const QString& path, int* pPages = nullptr) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000)) return QStringLiteral("<pdftotext failed>");
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (pPages) *pPages = static_cast<int>(out.count(QChar(0x0C)));
    return out.normalized(QString::NormalizationForm_KC).simplified();
}

}  // namespace

class TestNotesWindow : public QObject {
    Q_OBJECT
    // The whole application, for what the notes window asks of it.
    std::unique_ptr<CAppRoot> app;

private slots:
    void init() { CDesktopWindowTray::SetTrayAvailableForTesting(true); }
    void cleanup() { CDesktopWindowTray::SetTrayAvailableForTesting(std::nullopt); }
    void initialState();
    void paging_data();
    void paging();
    void typedTextIsStoredWithCrLf();
    void clear_data();
    void clear();
    void deleteImmediately();
    void confirmDialog_data();
    void confirmDialog();
    void insertions_data();
    void insertions();
    void textKeptWhenLeaving_data();
    void textKeptWhenLeaving();
    void search_data();
    void search();
    void searchWalksThroughMatches();
    void pageListJumps_data();
    void pageListJumps();
    void pageListDialog();
    void urlHandOff_data();
    void urlHandOff();
    void mailHandOff();
    void mailHandOffThroughTheDialog();
    void appendedPagesCountInTheIndicator();
    void pageIndicatorShowsLongLabels();
    void printsEveryPage_data();
    void printsEveryPage();
    void printUsesTheEditorText();
    void printDialogOffersPdfAndCancels();
    void editButtons();
    void helpWindow();
    void longPageLoadsInSteps();
};

void TestNotesWindow::initialState() {
    Fixture f({"one\r\ntwo", "second", "third"});
    QCOMPARE(f.notes->windowTitle(), Q("MERU version 2.2 - NOTES - [/data/meru.mer]"));
    QCOMPARE(f.Label(), Q("1/3"));
    QCOMPARE(f.Editor()->toPlainText(), Q("one\ntwo"));
    QVERIFY(!f.notes->DeleteNow());
    QCOMPARE(f.notes->DatePicker()->date(), QDate::currentDate());
    // The clock ticks only while the window is shown.
    QVERIFY(f.notes->ClockRunning());
    f.notes->hide();
    QVERIFY(!f.notes->ClockRunning());
    f.notes->DatePicker()->setDate(QDate(2001, 1, 1));
    CDesktopWindowTray::Instance().RestoreFromTray(f.notes.get());
    QVERIFY(f.notes->ClockRunning());
    QCOMPARE(f.notes->DatePicker()->date(), QDate::currentDate());
    // Storage untouched by merely showing it.
    QCOMPARE(f.pages, Pages({"one\r\ntwo", "second", "third"}));
}

void TestNotesWindow::paging_data() {
    QTest::addColumn<QString>("keys");  // '<' and '>' clicks
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("count");
    QTest::newRow("< on page 1 does nothing") << "<"
                                              << "1/3"
                                              << "a" << 3;
    QTest::newRow(">") << ">"
                       << "2/3"
                       << "b" << 3;
    QTest::newRow("> > reaches the last") << ">>"
                                          << "3/3"
                                          << "c" << 3;
    QTest::newRow("> on the last page grows the store") << ">>>"
                                                        << "4/4"
                                                        << "" << 4;
    QTest::newRow("each press grows it again") << ">>>>"
                                               << "5/5"
                                               << "" << 5;
    QTest::newRow("and back") << ">>><"
                              << "3/4"
                              << "c" << 4;
}

void TestNotesWindow::paging() {
    QFETCH(QString, keys);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    QFETCH(int, count);
    Fixture f({"a", "b", "c"});
    for (QChar k : keys) f.Click(k == QLatin1Char('<') ? 1002 : 1001);
    QCOMPARE(f.Label(), label);
    QCOMPARE(f.Editor()->toPlainText(), shown);
    QCOMPARE(int(f.pages.size()), count);
    QCOMPARE(f.notes->m_strPageLabel, label);
}

void TestNotesWindow::typedTextIsStoredWithCrLf() {
    Fixture f({"", "b"});
    f.Type(Q("first\nsecond ✓\u00A0end"));
    f.Click(1001);  // ">" commits before paging
    QCOMPARE(f.pages[0], std::string("first\r\nsecond ✓\u00A0end"));
    f.Click(1002);
    QCOMPARE(f.notes->EditorText(), Q("first\nsecond ✓\u00A0end"));
}

void TestNotesWindow::clear_data() {
    QTest::addColumn<Pages>("pages");
    QTest::addColumn<int>("page");
    QTest::addColumn<Pages>("after");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::newRow("only page is emptied") << Pages{"only"} << 1 << Pages{""} << "1/1"
                                          << "";
    QTest::newRow("last of three") << Pages{"a", "b", "c"} << 3 << Pages{"a", "b"} << "2/2"
                                   << "b";
    QTest::newRow("first of three") << Pages{"a", "b", "c"} << 1 << Pages{"b", "c"} << "1/2"
                                    << "b";
    QTest::newRow("middle of three") << Pages{"a", "b", "c"} << 2 << Pages{"a", "c"} << "2/2"
                                     << "c";
}

void TestNotesWindow::clear() {
    QFETCH(Pages, pages);
    QFETCH(int, page);
    QFETCH(Pages, after);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    Fixture f(pages);
    f.notes->ShowPage(page);
    f.Click(1013);
    QCOMPARE(f.confirmations, 1);
    QCOMPARE(f.pages, after);
    QCOMPARE(f.Label(), label);
    QCOMPARE(f.Editor()->toPlainText(), shown);
}

void TestNotesWindow::deleteImmediately() {
    struct Answer {
        bool bYes;
        bool bTick;
    };
    Fixture f({"a", "b", "c", "d"});
    std::vector<Answer> answers = {{true, false}, {false, true}, {true, true}};
    f.notes->m_fnConfirmClear = [&](bool& bTick) {
        const Answer a = answers.at(static_cast<size_t>(f.confirmations++));
        bTick = a.bTick;
        return a.bYes;
    };
    f.Click(1013);  // "Si" without the tick: deleted, asks again next time
    QCOMPARE(f.pages, Pages({"b", "c", "d"}));
    f.Click(1013);  // ticked but "No": nothing deleted, not remembered
    QCOMPARE(f.pages, Pages({"b", "c", "d"}));
    QVERIFY(!f.notes->DeleteNow());
    f.Click(1013);  // ticked and "Si": deleted and remembered
    QCOMPARE(f.pages, Pages({"c", "d"}));
    QVERIFY(f.notes->DeleteNow());
    f.Click(1013);  // no question any more
    QCOMPARE(f.confirmations, 3);
    QCOMPARE(f.pages, Pages({"d"}));
}

void TestNotesWindow::confirmDialog_data() {
    QTest::addColumn<bool>("bTick");
    QTest::addColumn<bool>("bYes");
    QTest::addColumn<bool>("bDeleteNow");
    QTest::newRow("Si, ticked") << true << true << true;
    QTest::newRow("Si, not ticked") << false << true << false;
    QTest::newRow("No, ticked") << true << false << false;
}

void TestNotesWindow::confirmDialog() {
    QFETCH(bool, bTick);
    QFETCH(bool, bYes);
    QFETCH(bool, bDeleteNow);
    CConfirmDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), Q("Confirm"));
    QCOMPARE(dlg.DeleteNowBox()->text(), Q("Delete immediately"));
    QCOMPARE(dlg.YesButton()->text(), Q("Si"));
    QCOMPARE(dlg.NoButton()->text(), Q("No"));
    QVERIFY(!dlg.DeleteNowBox()->isChecked());
    if (bTick) QTest::mouseClick(dlg.DeleteNowBox(), Qt::LeftButton);
    QTest::mouseClick(bYes ? dlg.YesButton() : dlg.NoButton(), Qt::LeftButton);
    QCOMPARE(dlg.result(), bYes ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dlg.m_bDeleteNow, bDeleteNow);
}

void TestNotesWindow::insertions_data() {
    QTest::addColumn<QString>("page");  // editor form
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("button");
    QTest::addColumn<std::string>("stored");  // after the insertion and a typed "Z"
    const std::string line = Underscores();
    QTest::newRow("Linea at the caret after the fifth character")
        << "abcdefghij" << 5 << 5 << 1014 << "abcde" + line + "Zfghij";
    QTest::newRow("Linea after a selection of characters 3 to 5")
        << "abcdefghij" << 2 << 5 << 1014 << "abcde" + line + "Zfghij";
    QTest::newRow("backwards selection: after its end")
        << "abcdefghij" << 5 << 2 << 1014 << "abcde" + line + "Zfghij";
    QTest::newRow("date on the second line")
        << "one\ntwo" << 6 << 6 << 1037 << std::string("one\r\ntw07/03/04Zo");
    QTest::newRow("time after an emoji") << Q("😀x") << 2 << 2 << 1039 << std::string("😀09:05:03Zx");
    QTest::newRow("time at the end") << "end" << 3 << 3 << 1039 << std::string("end09:05:03Z");
}

void TestNotesWindow::insertions() {
    QFETCH(QString, page);
    QFETCH(int, anchor);
    QFETCH(int, pos);
    QFETCH(int, button);
    QFETCH(std::string, stored);
    Fixture f({"", "other"});
    f.Type(page);
    f.SetCaret(anchor, pos);
    f.notes->m_timeDate = QDateTime(QDate(2004, 3, 7), QTime(9, 5, 3));
    f.notes->m_timeTime = f.notes->m_timeDate;
    f.Click(button);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.Editor()));
    // Nothing stays selected: the next key goes after the inserted text and
    // replaces nothing.
    QVERIFY(!f.Editor()->textCursor().hasSelection());
    QTest::keyClicks(f.Editor(), QStringLiteral("Z"));
    f.Click(1001);  // commit by paging away
    QCOMPARE(f.pages[0], stored);
}

void TestNotesWindow::textKeptWhenLeaving_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("bTray");
    QTest::newRow("Esc") << 0 << true;
    QTest::newRow("close box") << 1 << true;
    QTest::newRow("minimise") << 2 << true;
    QTest::newRow("focus to the search field") << 3 << true;
    QTest::newRow("close box, no tray (minimised instead)") << 1 << false;
    QTest::newRow("minimise, no tray") << 2 << false;
}

void TestNotesWindow::textKeptWhenLeaving() {
    QFETCH(int, how);
    QFETCH(bool, bTray);
    CDesktopWindowTray::SetTrayAvailableForTesting(bTray);
    Fixture f({"keep", "b"});
    QVERIFY(f.bActive);
    f.Editor()->moveCursor(QTextCursor::End);
    f.Type(Q(" me\nplease"));
    switch (how) {
        case 0: QTest::keyClick(f.Editor(), Qt::Key_Escape); break;
        case 1: f.notes->close(); break;
        case 2: f.notes->showMinimized(); break;
        case 3: f.notes->FindEdit()->setFocus(); break;
    }
    QTRY_COMPARE(f.pages[0], std::string("keep me\r\nplease"));
    if (how != 3) QTRY_VERIFY(!f.notes->isVisible() || f.notes->isMinimized());
    if (how != 3 && bTray) QTRY_VERIFY(!f.notes->isVisible());
    CDesktopWindowTray::Instance().RestoreFromTray(f.notes.get());
    QTRY_VERIFY(f.notes->isVisible() && !f.notes->isMinimized());
    QCOMPARE(f.Editor()->toPlainText(), Q("keep me\nplease"));
    QCOMPARE(f.Label(), Q("1/2"));
}

void TestNotesWindow::search_data() {
    QTest::addColumn<Pages>("pages");
    QTest::addColumn<int>("page");   // page shown before
    QTest::addColumn<int>("caret");  // editor position before
    QTest::addColumn<QString>("find");
    QTest::addColumn<bool>("bWrapYes");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QString>("label");  // after
    QTest::addColumn<int>("selStart");   // editor positions after
    QTest::addColumn<int>("selEnd");
    const Pages p = {"alpha\r\nbeta", "gamma 😀 beta\r\nnot ABC", "delta"};
    QTest::newRow("on the current page") << p << 1 << 0 << "beta" << false << 0 << "1/3" << 6 << 10;
    QTest::newRow("on a later page, positions after CR LF and emoji")
        << p << 1 << 7 << "beta" << false << 0 << "2/3" << 9 << 13;
    QTest::newRow("second line of a later page")
        << p << 1 << 0 << "not" << false << 0 << "2/3" << 14 << 17;
    QTest::newRow("only before the caret: after Yes")
        << p << 3 << 5 << "delta" << true << 1 << "3/3" << 0 << 5;
    QTest::newRow("earlier page after Yes")
        << p << 3 << 0 << "alpha" << true << 1 << "1/3" << 0 << 5;
    QTest::newRow("No: nothing changes") << p << 3 << 2 << "alpha" << false << 1 << "3/3" << 2 << 2;
    QTest::newRow("case-sensitive: abc is not ABC")
        << p << 1 << 0 << "abc" << false << 1 << "1/3" << 0 << 0;
    QTest::newRow("empty text matches at the caret")
        << p << 2 << 4 << "" << false << 0 << "2/3" << 4 << 4;
}

void TestNotesWindow::search() {
    QFETCH(Pages, pages);
    QFETCH(int, page);
    QFETCH(int, caret);
    QFETCH(QString, find);
    QFETCH(bool, bWrapYes);
    QFETCH(int, questions);
    QFETCH(QString, label);
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    Fixture f(pages);
    f.notes->m_fnAskWrapAround = [&] {
        ++f.wrapQuestions;
        return bWrapYes && f.wrapQuestions == 1;
    };
    f.notes->ShowPage(page);
    f.SetCaret(caret, caret);
    f.notes->FindEdit()->setText(find);
    f.notes->FindEdit()->setFocus();
    QTest::keyClick(f.notes->FindEdit(), Qt::Key_Return);  // Enter is "Trova"
    QCOMPARE(f.wrapQuestions, questions);
    QCOMPARE(f.Label(), label);
    const QTextCursor c = f.Editor()->textCursor();
    QCOMPARE(c.selectionStart(), selStart);
    QCOMPARE(c.selectionEnd(), selEnd);
    if (selEnd > selStart) {
        QCOMPARE(c.selectedText(), find);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.Editor()));
    }
    QCOMPARE(f.pages, pages);
}

void TestNotesWindow::searchWalksThroughMatches() {
    Fixture f({"x1 x2", "none", "x3"});
    f.notes->FindEdit()->setText("x");
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        f.Click(1006);
        const QTextCursor c = f.Editor()->textCursor();
        seen << QStringLiteral("%1@%2").arg(f.Label()).arg(c.selectionStart());
    }
    QCOMPARE(seen, QStringList({"1/3@0", "1/3@3", "3/3@0"}));
    // A fourth search finds nothing after the last match, asks, and stays.
    f.Click(1006);
    QCOMPARE(f.wrapQuestions, 1);
    QCOMPARE(f.Label(), Q("3/3"));
}

void TestNotesWindow::pageListJumps_data() {
    QTest::addColumn<int>("choice");  // -2: Cancel
    QTest::addColumn<QString>("label");
    QTest::newRow("third page") << 2 << "3/3";
    QTest::newRow("first page") << 0 << "1/3";
    QTest::newRow("OK without a selection") << -1 << "2/3";
    QTest::newRow("Cancel") << -2 << "2/3";
    QTest::newRow("beyond the store") << 3 << "2/3";
}

void TestNotesWindow::pageListJumps() {
    QFETCH(int, choice);
    QFETCH(QString, label);
    Fixture f({"a", "b", "c"});
    f.notes->ShowPage(2);
    size_t nListed = 0;
    f.notes->m_fnPageList = [&](const Pages& pages) -> std::optional<int> {
        nListed = pages.size();
        if (choice == -2) return std::nullopt;
        return choice;
    };
    f.Click(1023);
    QCOMPARE(nListed, size_t(3));
    QCOMPARE(f.Label(), label);
}

void TestNotesWindow::pageListDialog() {
    Pages pages = {"hello\r\nworld", std::string(30, 'x'), "\r\nstarts with a break",
                   std::string(100, 'y') + "\r\n"};
    for (int i = 0; i < 996; ++i) pages.push_back("page " + std::to_string(i + 5));
    CPageListDlg dlg;
    dlg.m_pPages = &pages;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), Q("Page"));
    QAbstractItemModel* model = dlg.List()->model();
    QCOMPARE(model->rowCount(), 1000);
    auto line = [&](int row) { return model->index(row, 0).data().toString(); };
    QCOMPARE(line(0), Q("1\thello"));
    QCOMPARE(line(1), Q("2\t") + QString(30, 'x') + "...");
    QCOMPARE(line(2), Q("3\t"));
    QCOMPARE(line(3), Q("4\t") + QString(80, 'y') + "...");
    QCOMPARE(line(999), Q("1000\tpage 1000..."));
    QVERIFY(dlg.List()->selectionModel()->selectedIndexes().isEmpty());

    // Resized, the list takes the change and the buttons keep to the corner.
    {
        auto* ok = dlg.findChild<QPushButton*>();
        const QRect list0 = dlg.List()->geometry(), ok0 = ok->geometry();
        QVERIFY(dlg.minimumSize() != dlg.maximumSize());
        dlg.resize(dlg.size() + QSize(50, 40));
        QTRY_COMPARE(dlg.List()->geometry(), list0.adjusted(0, 0, 50, 40));
        QCOMPARE(ok->geometry(), ok0.translated(50, 40));
        dlg.resize(dlg.size() - QSize(50, 40));
        QTRY_COMPARE(dlg.List()->geometry(), list0);
    }

    // A double-click on an item closes with OK and that item.
    const QModelIndex idx = model->index(2, 0);
    dlg.List()->scrollTo(idx);
    const QPoint at = dlg.List()->visualRect(idx).center();
    QTest::mouseClick(dlg.List()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(dlg.List()->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_nSel, 2);

    // OK with nothing selected gives -1.
    CPageListDlg none;
    none.m_pPages = &pages;
    none.show();
    QVERIFY(QTest::qWaitForWindowExposed(&none));
    none.accept();
    QCOMPARE(none.m_nSel, -1);

    // The keys move from the first row at once, as in any list.
    struct {
        std::vector<Qt::Key> keys;
        int sel;
    } const kKeys[] = {
        {{Qt::Key_End}, 999},
        {{Qt::Key_Down}, 1},
        {{Qt::Key_End, Qt::Key_Up}, 998},
        {{Qt::Key_PageDown, Qt::Key_Home}, 0},
    };
    for (const auto& k : kKeys) {
        CPageListDlg keys;
        keys.m_pPages = &pages;
        keys.show();
        QVERIFY(QTest::qWaitForWindowActive(&keys));
        for (Qt::Key key : k.keys) QTest::keyClick(keys.List(), key);
        QTest::keyClick(keys.List(), Qt::Key_Return);
        QTRY_VERIFY(!keys.isVisible());
        QCOMPARE(keys.result(), int(QDialog::Accepted));
        QCOMPARE(keys.m_nSel, k.sel);
    }
}

void TestNotesWindow::urlHandOff_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("url");
    QTest::newRow("no scheme: http:// in front")
        << "see example.org/a?b=1 now" << 4 << 21 << "http://example.org/a?b=1";
    // (QUrl writes scheme and host in lower case; no second "http://".)
    QTest::newRow("HTTP:// in capitals kept")
        << "HTTP://EXAMPLE.ORG/Path" << 0 << 23 << "http://example.org/Path";
    QTest::newRow("https kept, not made http://https://")
        << "https://example.org/x" << 0 << 21 << "https://example.org/x";
    QTest::newRow("empty selection still opens http://") << "abc" << 1 << 1 << "http://";
}

void TestNotesWindow::urlHandOff() {
    QFETCH(QString, page);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, url);
    Fixture f({page.toStdString()});
    f.SetCaret(from, to);
    f.Click(1016);
    QCOMPARE(f.launcher.calls.size(), size_t(1));
    QCOMPARE(int(f.launcher.calls[0].kind), int(CFakeLauncher::Call::Url));
    QCOMPARE(f.launcher.calls[0].url.toString(), url);
}

// MAIL is carried out by the application: the form, then the mailto: hand-off.
void TestNotesWindow::mailHandOff() {
    QTemporaryDir dir;
    test::Recorder rec;
    int asked = 0;
    std::optional<ComposedMail> answer =
        ComposedMail{"anna@example.org", "", "", Q("Caffè & #1?x=y").toStdString(), ""};
    rec.composeMail = [&](QWidget* parent) {
        ++asked;
        if (parent != app->Notes()) answer.reset();  // the form belongs to the notes window
        return answer;
    };
    app = test::MakeRoot(rec, dir.filePath("meru.mer"));
    QVERIFY(app->Create());
    QPushButton* mail = app->Notes()->Button(1018);
    QTest::mouseClick(mail, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(rec.launcher.calls.size(), size_t(1));
    const QUrl url = rec.launcher.calls[0].url;
    QCOMPARE(url.toString(QUrl::FullyEncoded),
             Q("mailto:anna@example.org?subject=Caff%C3%A8%20%26%20%231%3Fx%3Dy"));
    QUrlQuery query(url);
    QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
    QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), Q("Caffè & #1?x=y"));

    answer.reset();  // Cancel: nothing handed over
    QTest::mouseClick(mail, Qt::LeftButton);
    QCOMPARE(rec.launcher.calls.size(), size_t(1));
    app.reset();
}

void TestNotesWindow::mailHandOffThroughTheDialog() {
    QTemporaryDir dir;
    test::Recorder rec;
    app = test::MakeRoot(rec, dir.filePath("meru.mer"));
    QVERIFY(app->Create());
    bool bReduced = false;
    WhenModal<CMailComposeDlg>([&](CMailComposeDlg* dlg) {
        bReduced = dlg->m_nMode == CMailComposeDlg::kReduced && !dlg->BodyEdit()->isVisible() &&
                   dlg->ToEdit()->text().isEmpty();
        dlg->ToEdit()->setText("bob@example.org");
        dlg->SubjectEdit()->setText("hi there");
        QTest::mouseClick(dlg->SendButton(), Qt::LeftButton);
    });
    QTest::mouseClick(app->Notes()->Button(1018), Qt::LeftButton);
    QVERIFY(bReduced);
    QCOMPARE(rec.launcher.calls.size(), size_t(1));
    QCOMPARE(rec.launcher.calls[0].url.toString(QUrl::FullyEncoded),
             Q("mailto:bob@example.org?subject=hi%20there"));
    app.reset();
}

void TestNotesWindow::appendedPagesCountInTheIndicator() {
    Fixture f({"a", "b"});
    f.notes->ShowPage(2);
    f.Type("typed ");
    const Pages clips = {"clip one", "clip\r\ntwo"};
    f.store.AppendPages(clips);
    f.notes->PagesAppended();
    QCOMPARE(f.Label(), Q("2/4"));
    QCOMPARE(f.Editor()->toPlainText(), Q("typed b"));
    f.Click(1001);
    QCOMPARE(f.pages, Pages({"a", "typed b", "clip one", "clip\r\ntwo"}));
    QCOMPARE(f.Label(), Q("3/4"));
}

void TestNotesWindow::pageIndicatorShowsLongLabels() {
    // Every label is shown whole, up to the largest notebook.
    Fixture f(Pages(65535));
    for (int page : {1, 1501, 65535}) {
        f.notes->ShowPage(page);
        const QLineEdit* label = f.notes->PageIndicator();
        QCOMPARE(f.Label(), QStringLiteral("%1/65535").arg(page));
        const int room =
            label->width() - 2 * label->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) - 4;
        QVERIFY2(label->fontMetrics().horizontalAdvance(f.Label()) <= room, qPrintable(f.Label()));
    }
    // A short label keeps the window's font.
    Fixture small({"a", "b"});
    QCOMPARE(small.notes->PageIndicator()->font(), small.notes->font());
}

void TestNotesWindow::printsEveryPage_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minPages");
    QTest::newRow("short, with accents and ligatures")
        << Q("Caffè office – fine finish\nsecond line") << 1;
    QString longText;
    for (int i = 1; i <= 400; ++i)
        longText += QStringLiteral("Line %1 of a long note that goes on and on\n").arg(i);
    longText += QString(300, QLatin1Char('w')) + QStringLiteral(" LAST");
    QTest::newRow("long note: every page, long words wrapped") << longText << 5;
}

void TestNotesWindow::printsEveryPage() {
    QFETCH(QString, text);
    QFETCH(int, minPages);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QVERIFY(CMeruDlg::PrintText(printer, text));
    int pages = 0;
    const QString got = PdfText(pdf, &pages);
    QVERIFY2(pages >= minPages, qPrintable(QString::number(pages)));
    // Wrapping may split a long word anywhere: compare without white space.
    auto squeeze = [](QString s) {
        return s.normalized(QString::NormalizationForm_KC).remove(QRegularExpression("\\s"));
    };
    const QString a = squeeze(got), b = squeeze(text);
    qsizetype i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    QVERIFY2(a == b, qPrintable(QStringLiteral("differ at %1 of %2/%3: got '%4' want '%5'")
                                    .arg(i)
                                    .arg(a.size())
                                    .arg(b.size())
                                    .arg(a.mid(i - 20, 60), b.mid(i - 20, 60))));
}

void TestNotesWindow::printUsesTheEditorText() {
    Fixture f({"stored text"});
    f.Editor()->selectAll();
    f.Type("typed but not committed");
    QTemporaryDir dir;
    const QString pdf = dir.filePath("notes.pdf");
    f.notes->m_fnChoosePrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    f.Click(1029);
    QCOMPARE(PdfText(pdf), Q("typed but not committed"));

    // Cancelled print dialog: no job.
    const QString other = dir.filePath("cancelled.pdf");
    f.notes->m_fnChoosePrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(other);
        return false;
    };
    f.Click(1029);
    QVERIFY(!QFile::exists(other));
}

void TestNotesWindow::printDialogOffersPdfAndCancels() {
    Fixture f({"x"});
    bool bSeen = false;
    bool bToFile = false;
    WhenModal<QPrintDialog>([&](QPrintDialog* dlg) {
        bSeen = true;
        bToFile = dlg->testOption(QAbstractPrintDialog::PrintToFile);
        dlg->reject();
    });
    f.Click(1029);
    QVERIFY(bSeen);
    QVERIFY(bToFile);
    QCOMPARE(f.launcher.calls.size(), size_t(0));
}

void TestNotesWindow::editButtons() {
    Fixture f({""});
    QApplication::clipboard()->clear();
    f.Type("hello");
    f.Editor()->selectAll();
    f.Click(1008);  // Copia
    QCOMPARE(QApplication::clipboard()->text(), Q("hello"));
    QCOMPARE(f.Editor()->toPlainText(), Q("hello"));
    f.Click(1007);  // Taglia
    QCOMPARE(f.Editor()->toPlainText(), QString());
    f.Click(1009);  // Incolla
    f.Click(1009);
    QCOMPARE(f.Editor()->toPlainText(), Q("hellohello"));
    f.Click(1012);  // Undo
    QCOMPARE(f.Editor()->toPlainText(), Q("hello"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.Editor()));
}

void TestNotesWindow::helpWindow() {
    Fixture f({""});
    QVERIFY(!f.notes->HelpWindow());
    f.Click(57670);
    QVERIFY(f.notes->HelpWindow());
    QTRY_VERIFY(f.notes->HelpWindow()->isVisible());
    QPointer<CHelpWindow> help = f.notes->HelpWindow();
    f.Click(57670);  // the same window again, not a second one
    QCOMPARE(f.notes->HelpWindow(), help.data());
    QVERIFY(CHelpWindow::HelpHtml().contains("Trova"));
    f.notes.reset();  // closed with the notes window
    QVERIFY(help.isNull());
}

void TestNotesWindow::longPageLoadsInSteps() {
    std::string big;
    int nLines = 0;
    while (big.size() < 1500 * 1024)
        big += "line " + std::to_string(++nLines) + " of a long page, caffè ✓ 😀\r\n";
    big += "the end";
    const QString bigEditor = QString::fromStdString(big).replace("\r\n", "\n");
    Fixture f({big, "short"});
    QVERIFY(f.notes->Loading());
    QVERIFY(f.Editor()->document()->characterCount() < bigEditor.size());

    // Paging away and back while loading: the page stays whole.
    f.Click(1001);
    QCOMPARE(f.Label(), Q("2/2"));
    f.Click(1002);
    QVERIFY(f.notes->Loading());
    f.notes->hide();  // a commit
    QCOMPARE(f.pages[0], big);
    CDesktopWindowTray::Instance().RestoreFromTray(f.notes.get());
    QTRY_VERIFY_WITH_TIMEOUT(!f.notes->Loading(), 20000);
    QCOMPARE(f.notes->EditorText(), bigEditor);

    // An edit without a key (Linea) during loading, then a commit.
    f.Click(1001);
    f.Click(1002);
    QVERIFY(f.notes->Loading());
    f.SetCaret(0, 0);
    f.Click(1014);
    f.notes->CommitPage();
    QCOMPARE(f.pages[0], Underscores() + big);

    // Typing during loading loads the rest first; undo takes back the typing.
    f.Click(1001);
    f.Click(1002);
    QVERIFY(f.notes->Loading());
    f.SetCaret(0, 0);
    QTest::keyClicks(f.Editor(), "AB");
    QVERIFY(!f.notes->Loading());
    f.notes->CommitPage();
    QCOMPARE(f.pages[0], "AB" + Underscores() + big);
    f.Click(1012);
    f.notes->CommitPage();
    QCOMPARE(f.pages[0], Underscores() + big);

    // The editor's menu (Select All ...) sees the whole page.
    f.Click(1001);
    f.Click(1002);
    QVERIFY(f.notes->Loading());
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(5, 5),
                           f.Editor()->viewport()->mapToGlobal(QPoint(5, 5)));
    QTimer::singleShot(0, [] {
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) m->close();
    });
    QApplication::sendEvent(f.Editor()->viewport(), &menu);
    QVERIFY(!f.notes->Loading());

    // A match beyond what is loaded is selected.
    f.Click(1001);
    f.Click(1002);
    QVERIFY(f.notes->Loading());
    f.notes->FindEdit()->setText("the end");
    f.Click(1006);
    QCOMPARE(f.Editor()->textCursor().selectedText(), Q("the end"));
    QCOMPARE(f.pages[0], Underscores() + big);
}

QTEST_MAIN(TestNotesWindow)
#include "tst_notes_window.moc"
