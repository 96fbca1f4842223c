// The clipboard window inside a real main window, with a fake system
// clipboard and fake global shortcuts: choosing entries, "<" and ">",
// relabelling while typing and storing on focus loss, search with the
// wrap-around question, "<- Notes", and the wiring of capture, Ctrl+n and
// the menu commands.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/app_root.h"
#include "gui/kit/menu177.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "platform/clipboard.h"
#include "platform/x11_hotkeys.h"
#include "core/store/datafile.h"
#include "core/notes/page_store.h"
#include "gui/kit/editor_text.h"
#include "support/main_fixture.h"
#include "gui/kit/window_tray.h"
#include "gui/tray/system_tray.h"
#include "support/fakes.h"

using namespace meru;

namespace {

using Strings = std::vector<std::string>;

std::string U(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Types `text` into `w` as the keyboard would (any characters; '\n' is Return).
void Type(QWidget* w, const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) QTest::keyClick(w, Qt::Key_Return);
        if (lines[i].isEmpty()) continue;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, lines[i]);
        QApplication::sendEvent(w, &press);
    }
}

// The application on a data file in a temporary folder, with clipboard and
// shortcuts fakes; its tray object records the icon shown.
struct Fixture {
    QTemporaryDir dir;
    CFakeClipboard clip;
    CFakeGlobalHotkeys keys;
    std::vector<QString> messages;
    std::unique_ptr<CAppRoot> main;

    explicit Fixture(const Strings& pages = {}, const std::string& clipAtStart = {}) {
        const QString path = dir.filePath(QStringLiteral("meru.mer"));
        if (!pages.empty()) {
            CMeruData data;
            data.m_aPages = pages;
            test::WriteBytes(path, SerializeData(data));
        }
        if (!clipAtStart.empty()) clip.Copy(clipAtStart);
        AppServices s;
        s.clipboard = &clip;
        s.hotkeys = &keys;
        s.showMessage = [this](QMessageBox::Icon, const QString& text) {
            messages.push_back(text);
        };
        s.exitProcess = [](int) {};
        main = std::make_unique<CAppRoot>(QStringLiteral("MERU version 2.2"), path, s);
        created = main->Create();
    }
    ~Fixture() { main.reset(); }

    bool created = false;
    CClipboardDlg& dlg() const { return *main->Clipboard(); }
    CSystemTray& tray() const { return main->Tray(); }
    const CClipHistory& history() const { return main->ClipHistory(); }
    QStringList listItems() const {
        QStringList out;
        for (int i = 0; i < dlg().EntryList()->count(); ++i) out << dlg().EntryList()->itemText(i);
        return out;
    }
    QString editorText() const { return dlg().Editor()->toPlainText(); }
    void copyAll(const Strings& texts) {
        for (const auto& t : texts) clip.Copy(t);
    }
    // Shows the clipboard window and waits until it has the keyboard.
    bool showWindow() {
        main->OnCommand(ID_CLIPBOARD_OPEN);
        return QTest::qWaitForWindowActive(&dlg());
    }
};

}  // namespace

class TestClipboardDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { CDesktopWindowTray::SetTrayAvailableForTesting(true); }

    // ------------------------------------------------------------ start-up

    // A hidden window takes a copy into its history and list at once but
    // lays its editor out only when it is shown.
    void hiddenWindowShowsTheCopyWhenItComesUp() {
        Fixture f({}, "first");
        auto* raw = f.dlg().findChild<QPlainTextEdit*>(QStringLiteral("1000"));
        QVERIFY(raw);
        const QString before = raw->toPlainText();
        f.clip.Copy(std::string(100000, 'x'));
        QCOMPARE(f.history().Count(), 2);
        QCOMPARE(f.listItems().size(), 2);
        QCOMPARE(raw->toPlainText(), before);  // not laid out while hidden
        QVERIFY(f.showWindow());
        QCOMPARE(raw->toPlainText(), QString(100000, QLatin1Char('x')));
        // and while shown, a copy goes straight into the editor
        f.clip.Copy("short");
        QCOMPARE(raw->toPlainText(), QStringLiteral("short"));
    }

    void startsHiddenSeededAndFollowingTheClipboard() {
        Fixture f({}, "on the clipboard before");
        QVERIFY(f.created);
        QCOMPARE(f.dlg().windowTitle(), QStringLiteral("MERU version 2.2 - CLIPBOARD"));
        QVERIFY(!f.dlg().isVisible());
        QCOMPARE(f.history().History(), Strings{"on the clipboard before"});
        QCOMPARE(f.editorText(), QStringLiteral("on the clipboard before"));
        QCOMPARE(f.listItems(), QStringList{"1 - on the clipboard before"});
        QCOMPARE(f.tray().CurrentIconId(), 189);
        QCOMPARE(f.clip.m_nSetText, 0);  // it already held exactly that text
        QVERIFY(f.keys.IsStarted());

        // subscribed: a copy in another program becomes the current entry
        f.clip.Copy("line one\r\nline two");
        QCOMPARE(f.history().Count(), 2);
        QCOMPARE(f.editorText(), QStringLiteral("line one\nline two"));
        QCOMPARE(f.listItems(),
                 (QStringList{"1 - on the clipboard before", "2 - line one  line two"}));
        QCOMPARE(f.dlg().EntryList()->currentIndex(), 1);
        QCOMPARE(f.tray().CurrentIconId(), 190);
        QVERIFY(!f.dlg().m_bEdited);  // the program's own editor changes are no edits
    }

    void unreadableDataFileMeansNoWatching() {
        // The data file ends inside an element: no tool windows, so neither
        // the clipboard nor the shortcuts are followed in this run.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("meru.mer"));
        CMeruData data;
        data.m_aPages = {"a page that is cut short"};
        const std::string bytes = SerializeData(data);
        QVERIFY(test::WriteBytes(path, bytes.substr(0, 20)));
        CFakeClipboard clip;
        clip.Copy("at start");
        CFakeGlobalHotkeys keys;
        AppServices s;
        s.clipboard = &clip;
        s.hotkeys = &keys;
        s.showMessage = [](QMessageBox::Icon, const QString&) {};
        s.exitProcess = [](int) {};
        CAppRoot main(QStringLiteral("MERU version 2.2"), path, s);
        QVERIFY(main.Create());
        QCOMPARE(main.LastLoad().status, LoadStatus::ReadError);
        QVERIFY(!main.Clipboard());
        QVERIFY(!keys.IsStarted());
        clip.Copy("later");
        main.OnCommand(ID_CLIPBOARD_1);
        main.OnCommand(ID_CLIPBOARD_CLEAR);
        QCOMPARE(clip.Text(), std::string("later"));
        QCOMPARE(clip.m_nSetText + clip.m_nClear, 0);
    }

    void copiesThatAreNotKept() {
        // a picture, a password manager's copy and a duplicate change nothing,
        // and the clipboard is never rewritten for them
        Fixture f;
        f.copyAll({"a", "b"});
        f.clip.CopyPicture();
        f.clip.Copy("secret!", {}, true);
        f.clip.Copy("a");
        QCOMPARE(f.history().History(), (Strings{"a", "b"}));
        QCOMPARE(f.editorText(), QStringLiteral("b"));
        QCOMPARE(f.tray().CurrentIconId(), 190);
        QCOMPARE(f.clip.m_nSetText, 0);
        QCOMPARE(f.clip.Text(), std::string("a"));
        // a file manager's copy keeps its other formats on the clipboard
        f.clip.Copy("/tmp/x.txt", {"text/uri-list"});
        QCOMPARE(f.history().Count(), 3);
        QCOMPARE(f.clip.m_nSetText, 0);
        QVERIFY(f.clip.Formats().size() >= 2);
        // the owner of the current entry's text quits: it comes back
        f.clip.OwnerGone();
        QCOMPARE(f.clip.Text(), std::string("/tmp/x.txt"));
        QCOMPARE(f.history().Count(), 3);
    }

    // ------------------------------------------------------------ selection

    void shortcutsAndMenuCommandsSelect() {
        Fixture f;
        f.keys.Press(3);  // empty history: nothing
        f.main->OnCommand(ID_CLIPBOARD_1 + 1);
        QCOMPARE(f.clip.m_nSetText, 0);
        QCOMPARE(f.tray().CurrentIconId(), 152);

        f.copyAll({"one", "two"});
        f.keys.Press(3);  // beyond the count: the newest
        QCOMPARE(f.history().Current(), 1);
        f.keys.Press(1);
        QCOMPARE(f.history().Current(), 0);
        QCOMPARE(f.clip.Text(), std::string("one"));
        QCOMPARE(f.editorText(), QStringLiteral("one"));
        QCOMPARE(f.tray().CurrentIconId(), 189);
        f.main->OnCommand(ID_CLIPBOARD_1 + 1);  // "ClipBoard 2"
        QCOMPARE(f.clip.Text(), std::string("two"));
        QCOMPARE(f.dlg().EntryList()->currentIndex(), 1);
        QCOMPARE(f.tray().CurrentIconId(), 190);

        // six entries: the sixth is current with the plain icon; Ctrl+1 shows 1
        f.copyAll({"3", "4", "5", "6"});
        QCOMPARE(f.tray().CurrentIconId(), 152);
        f.keys.Press(1);
        QCOMPARE(f.tray().CurrentIconId(), 189);

        // "Cancella Tutto" empties history, window, tray and clipboard
        f.main->OnCommand(ID_CLIPBOARD_CLEAR);
        QCOMPARE(f.history().Count(), 0);
        QVERIFY(f.listItems().isEmpty());
        QVERIFY(f.editorText().isEmpty());
        QCOMPARE(f.tray().CurrentIconId(), 152);
        QVERIFY(f.clip.IsEmpty());
        // and our own emptying was not taken for a copy
        QCOMPARE(f.history().Count(), 0);
    }

    void previousNextAndTheList() {
        Fixture f;
        f.copyAll({"first", "second", "third"});
        QPushButton* prev = f.dlg().Button(1002);
        QPushButton* next = f.dlg().Button(1001);
        QVERIFY(prev && next);
        f.keys.Press(1);
        const int writes = f.clip.m_nSetText;

        QTest::mouseClick(prev, Qt::LeftButton);  // on entry 1: nothing
        QCOMPARE(f.history().Current(), 0);
        QCOMPARE(f.clip.m_nSetText, writes);

        QTest::mouseClick(next, Qt::LeftButton);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(f.history().Current(), 2);
        QCOMPARE(f.editorText(), QStringLiteral("third"));
        QCOMPARE(f.dlg().EntryList()->currentIndex(), 2);
        QCOMPARE(f.clip.Text(), std::string("third"));
        QCOMPARE(f.tray().CurrentIconId(), 191);
        const int afterNext = f.clip.m_nSetText;
        QTest::mouseClick(next, Qt::LeftButton);  // on the last: nothing
        QCOMPARE(f.history().Current(), 2);
        QCOMPARE(f.clip.m_nSetText, afterNext);

        QTest::mouseClick(prev, Qt::LeftButton);
        QCOMPARE(f.history().Current(), 1);
        QCOMPARE(f.clip.Text(), std::string("second"));
        QCOMPARE(f.dlg().EntryList()->currentIndex(), 1);

        // choosing in the list: editor, tray and clipboard follow; the list
        // keeps its items
        QComboBox* list = f.dlg().EntryList();
        list->setCurrentIndex(0);
        emit list->activated(0);
        QCOMPARE(f.history().Current(), 0);
        QCOMPARE(f.editorText(), QStringLiteral("first"));
        QCOMPARE(f.clip.Text(), std::string("first"));
        QCOMPARE(f.tray().CurrentIconId(), 189);
        QCOMPARE(f.listItems(), (QStringList{"1 - first", "2 - second", "3 - third"}));
        // typing into the list's edit field never adds an item
        QVERIFY(f.showWindow());
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list, "typed");
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->count(), 3);
        QCOMPARE(f.history().Count(), 3);
    }

    void deleteCurrent() {
        Fixture f;
        f.copyAll({"a", "b", "c", "d"});
        QTest::mouseClick(f.dlg().Button(1007), Qt::LeftButton);  // "Cancella"
        QCOMPARE(f.history().History(), (Strings{"a", "b", "c"}));
        QCOMPARE(f.history().Current(), 2);
        QCOMPARE(f.clip.Text(), std::string("c"));
        QCOMPARE(f.editorText(), QStringLiteral("c"));
        QCOMPARE(f.listItems(), (QStringList{"1 - a", "2 - b", "3 - c"}));
        QTest::mouseClick(f.dlg().Button(1008), Qt::LeftButton);  // "Cancella tutto"
        QCOMPARE(f.history().Count(), 0);
        QVERIFY(f.clip.IsEmpty());
    }

    // ------------------------------------------------------------ editing

    void typingRelabelsAndFocusLossStores_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("stored");
        QTest::newRow("append") << QStringList{"abc", "xyz"} << QString("!") << QString("2 - xyz!")
                                << QString("xyz!");
        QTest::newRow("new line") << QStringList{"abc"} << QString("\nnext")
                                  << QString("1 - abc next") << QString("abc\nnext");
        QTest::newRow("empty history makes entry 1")
            << QStringList{} << QString("hello") << QString("1 - hello") << QString("hello");
        QTest::newRow("long text label is cut to 30 characters")
            << QStringList{"x"} << QString::fromUtf8("\xC3\xA8\xF0\x9F\x98\x80").repeated(20)
            << QString("1 - x") + QString::fromUtf8("\xC3\xA8\xF0\x9F\x98\x80").repeated(14) +
                   QString::fromUtf8("\xC3\xA8")
            << QString("x") + QString::fromUtf8("\xC3\xA8\xF0\x9F\x98\x80").repeated(20);
    }
    void typingRelabelsAndFocusLossStores() {
        QFETCH(QStringList, entries);
        QFETCH(QString, typed);
        QFETCH(QString, label);
        QFETCH(QString, stored);
        Fixture f;
        Strings before;
        for (const QString& e : entries) before.push_back(U(e));
        f.copyAll(before);
        const int writes = f.clip.m_nSetText;
        QVERIFY(f.showWindow());
        QPlainTextEdit* ed = f.dlg().Editor();
        ed->setFocus();
        QTRY_VERIFY(ed->hasFocus());
        ed->moveCursor(QTextCursor::End);
        Type(ed, typed);

        const int cur = std::max(0, f.history().Current());
        QCOMPARE(f.dlg().EntryList()->itemText(cur), label);
        QCOMPARE(f.dlg().EntryList()->count(), std::max<qsizetype>(1, entries.size()));
        QVERIFY(f.dlg().m_bEdited);
        QCOMPARE(f.history().History(), before);  // not yet
        QCOMPARE(f.clip.m_nSetText, writes);

        f.dlg().FindField()->setFocus();  // the editor loses the focus
        QTRY_VERIFY(!ed->hasFocus());
        QCOMPARE(Q(f.history().Entry(cur)), stored);
        QCOMPARE(Q(f.clip.Text()), stored);
        QVERIFY(!f.dlg().m_bEdited);
        // the edited entry is no copy of someone else: nothing new is captured
        QCOMPARE(f.history().Count(), std::max<qsizetype>(1, entries.size()));
    }

    void escapeKeepsTheEdit() {
        Fixture f;
        f.copyAll({"draft"});
        QVERIFY(f.showWindow());
        QPlainTextEdit* ed = f.dlg().Editor();
        ed->setFocus();
        QTRY_VERIFY(ed->hasFocus());
        ed->moveCursor(QTextCursor::End);
        QTest::keyClicks(ed, " v2");
        QTest::keyClick(ed, Qt::Key_Escape);
        QTRY_VERIFY(!f.dlg().isVisible());
        QCOMPARE(f.history().Entry(0), std::string("draft v2"));
        QCOMPARE(f.clip.Text(), std::string("draft v2"));
    }

    // A huge entry shows its beginning at once and the rest in steps; the
    // text that arrives is the entry exactly (slices cut between lines, in
    // one long line never inside a character or a CR LF).
    void hugeEntryShownInSteps() {
        std::string big;
        for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
            big += "riga " + std::to_string(i) + " caff\xC3\xA8 \xF0\x9F\x98\x80\r\n";
        std::string line;
        while (line.size() < 600 * 1024) line += "\xE2\x82\xAC\xF0\x9F\x98\x80xy\r";
        big += line + "\r\nfine";
        Fixture f;
        f.copyAll({big});
        QVERIFY(f.showWindow());
        auto* ed = f.dlg().findChild<QPlainTextEdit*>(QString::number(CClipboardDlg::IDC_EDITOR));
        QVERIFY(ed);
        const QString whole = QString::fromStdString(StoredToEditorText(big));
        // Only a first slice is there when the window shows.
        QVERIFY(ed->document()->characterCount() < whole.size() / 4);
        QVERIFY(whole.startsWith(EditorText(ed)));
        QTRY_COMPARE_WITH_TIMEOUT(ed->document()->characterCount(), int(whole.size()) + 1, 30000);
        QCOMPARE(EditorText(ed), whole);
        QVERIFY(ed->document()->isUndoRedoEnabled());
        QVERIFY(!f.dlg().m_bEdited);  // loading is no edit

        // Typing while slices are pending goes into the part shown, and the
        // rest keeps loading after it; a caret at the end of the shown part
        // stays there while slices arrive.
        f.clip.Copy("small");
        QTRY_COMPARE(EditorText(ed), QStringLiteral("small"));
        const auto showBig = [&] {
            f.dlg().NextEntry();
            if (EditorText(ed) == QStringLiteral("small")) f.dlg().PreviousEntry();
            QVERIFY(ed->document()->characterCount() < whole.size() / 4);
        };
        showBig();
        ed->setFocus();
        ed->moveCursor(QTextCursor::Start);
        QTest::keyClicks(ed, QStringLiteral("Z"));
        ed->moveCursor(QTextCursor::End);
        const int shownEnd = ed->textCursor().position();
        QTest::keyClicks(ed, QStringLiteral("Y"));
        QVERIFY(ed->document()->characterCount() < whole.size() / 4);  // still loading
        QTRY_COMPARE_WITH_TIMEOUT(ed->document()->characterCount(), int(whole.size()) + 3, 30000);
        QCOMPARE(ed->textCursor().position(), shownEnd + 1);
        QString expected = "Z" + whole;
        expected.insert(shownEnd, u'Y');
        QCOMPARE(EditorText(ed), expected);
        // Its label comes from the beginning only, and is the whole text's.
        const int cur = f.history().Current();
        QCOMPARE(f.dlg().EntryList()->itemText(cur), Q(MakeClipLabel(cur + 1, U(EditorText(ed)))));

        // Leaving the editor while slices are pending stores the whole entry
        // as the editor would hold it, the part not shown yet included.
        showBig();
        ed->moveCursor(QTextCursor::Start);
        QTest::keyClicks(ed, QStringLiteral("X"));
        QVERIFY(ed->document()->characterCount() < whole.size() / 4);
        f.dlg().StoreEdited();
        QCOMPARE(Q(f.history().Entry(f.history().Current())), "X" + whole);

        // Select All reaches the whole entry: the rest is loaded first.
        showBig();
        QTest::keyClick(ed, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(ed->textCursor().selectedText().size(), whole.size() + 1);
    }

    // ------------------------------------------------------------ search

    void searchWrapsAroundOnYes() {
        Fixture f;
        // entry 2 holds an emoji and a CR LF before the match: the selection
        // must land on the right characters in the editor
        f.copyAll({"one", "\xF0\x9F\x98\x80 x\r\nthe beta", "three", "four"});
        int asked = 0;
        bool answer = false;
        f.dlg().m_fnAskWrap = [&] {
            ++asked;
            return answer;
        };
        QVERIFY(f.showWindow());
        f.dlg().FindField()->setText(QStringLiteral("beta"));
        const int writes = f.clip.m_nSetText;

        QTest::mouseClick(f.dlg().Button(1006), Qt::LeftButton);  // No
        QCOMPARE(asked, 1);
        QCOMPARE(f.history().Current(), 3);
        QCOMPARE(f.clip.m_nSetText, writes);

        answer = true;
        QTest::mouseClick(f.dlg().Button(1006), Qt::LeftButton);  // Yes
        QCOMPARE(asked, 2);
        QCOMPARE(f.history().Current(), 1);
        QCOMPARE(f.clip.Text(), std::string("\xF0\x9F\x98\x80 x\r\nthe beta"));
        QCOMPARE(f.tray().CurrentIconId(), 190);
        QCOMPARE(f.dlg().EntryList()->currentIndex(), 1);
        QTextCursor c = f.dlg().Editor()->textCursor();
        QCOMPARE(c.selectedText(), QStringLiteral("beta"));
        QVERIFY(f.dlg().Editor()->hasFocus());

        // again: from the end of that match on, nothing more; asked again
        answer = false;
        QTest::mouseClick(f.dlg().Button(1006), Qt::LeftButton);
        QCOMPARE(asked, 3);
        QCOMPARE(f.history().Current(), 1);

        // Enter in the search field searches too; case counts
        f.dlg().FindField()->setText(QStringLiteral("THREE"));
        f.dlg().FindField()->setFocus();
        QTest::keyClick(f.dlg().FindField(), Qt::Key_Return);
        QCOMPARE(asked, 4);
        f.dlg().FindField()->setText(QStringLiteral("thr"));
        QTest::keyClick(f.dlg().FindField(), Qt::Key_Return);
        QCOMPARE(asked, 4);
        QCOMPARE(f.history().Current(), 2);
        QCOMPARE(f.dlg().Editor()->textCursor().selectedText(), QStringLiteral("thr"));
    }

    void searchWithEmptyHistoryAsksAtOnce() {
        Fixture f;
        int asked = 0;
        f.dlg().m_fnAskWrap = [&] { return ++asked < 3; };  // Yes, Yes, then No
        f.dlg().FindField()->setText(QStringLiteral("x"));
        f.dlg().Find();
        QCOMPARE(asked, 3);
        QCOMPARE(f.history().Count(), 0);
    }

    void wrapQuestionText() {
        QCOMPARE(CClipboardDlg::WrapQuestion(),
                 QStringLiteral("E' stata raggiunta l'ultima pagina degli!\n"
                                "Continuare la ricerca dalla prima pagina?"));
    }

    // ------------------------------------------------------------ clock

    void pickersShowTheCurrentTime() {
        Fixture f;
        QVERIFY(f.showWindow());
        QDateEdit* date = f.dlg().DatePicker();
        QTimeEdit* time = f.dlg().TimePicker();
        QCOMPARE(date->date(), QDate::currentDate());
        // a picked value is overwritten within a second
        date->setDate(QDate(2004, 3, 7));
        time->setTime(QTime(9, 5, 3));
        QTRY_COMPARE_WITH_TIMEOUT(date->date(), QDate::currentDate(), 2500);
        QVERIFY(qAbs(time->time().secsTo(QTime::currentTime())) <= 2);
        // hidden, the clock rests; shown again, it is current at once
        f.dlg().HideToTray();
        QTRY_VERIFY(!f.dlg().isVisible());
        date->setDate(QDate(2004, 3, 7));
        QVERIFY(f.showWindow());
        QCOMPARE(date->date(), QDate::currentDate());
    }

    // ------------------------------------------------------------ "<- Notes"

    void notesGetEveryEntry() {
        Fixture f({"page one", "page two"});
        QVERIFY(f.created);
        f.copyAll({"c1", "c2\nsecond line", "c3", "c4"});
        QVERIFY(f.showWindow());
        QTest::mouseClick(f.dlg().Button(1044), Qt::LeftButton);

        CMeruDlg* notes = f.main->Notes();
        QCOMPARE(f.main->m_data.m_aPages,
                 (Strings{"page one", "page two", "c1", "c2\r\nsecond line", "c3", "c4"}));
        QCOMPARE(notes->m_strPageLabel, QStringLiteral("1/6"));
        QCOMPARE(notes->PageIndicator()->text(), QStringLiteral("1/6"));
        QCOMPARE(notes->Editor()->toPlainText(), QStringLiteral("page one"));
        QTRY_VERIFY(notes->isVisible());
        QTRY_VERIFY(!f.dlg().isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(notes));
        QCOMPARE(f.history().Count(), 4);  // the history stays
    }
};

QTEST_MAIN(TestClipboardDlg)
#include "tst_clipboard_dlg.moc"
