// The window kit: the tool-window frame, the clock row, the editor text
// helper and the pictures every window shares.
#include <QDateEdit>
#include <QMenuBar>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include "gui/clipboard/clipboard_dlg.h"
#include "gui/kit/clock_row.h"
#include "gui/kit/editor_text.h"
#include "gui/kit/menu177.h"
#include "gui/kit/resources.h"
#include "gui/kit/tool_window.h"
#include "gui/kit/window_tray.h"
#include "gui/main/main_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "support/main_fixture.h"

using namespace meru;

namespace {

class CPlainToolWindow : public CToolWindow {
public:
    using CToolWindow::CToolWindow;

protected:
    QString TitleSuffix() const override { return QStringLiteral(" - PLAIN"); }
};

// A window with a date and a time picker under a clock row.
struct Clocked {
    QWidget window;
    QDateEdit* date = new QDateEdit(&window);
    QTimeEdit* time = new QTimeEdit(&window);
    CClockRow* clock;
    explicit Clocked(CClockRow::FocusedPicker focused)
        : clock(new CClockRow(&window, date, time, focused)) {}
};

}  // namespace

class TestWindowKit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { CDesktopWindowTray::SetTrayAvailableForTesting(true); }

    // Commands go to the sink; Esc hides into the tray and the window named
    // in the context gets the focus back; the first showing is centred.
    void toolWindowFrame() {
        QWidget main;
        main.resize(200, 100);
        std::vector<int> commands;
        ToolWindowContext ctx;
        ctx.strVersion = QStringLiteral("MERU version 2.2");
        ctx.commands = [&](int id) { commands.push_back(id); };
        ctx.pFocusBack = &main;
        CPlainToolWindow w(ctx, {200, 290, "System", 10});
        w.Create();
        QCOMPARE(w.windowTitle(), QStringLiteral("MERU version 2.2 - PLAIN"));
        QVERIFY(!w.isVisible());

        FindCommand(w.menuBar(), ID_NOTES)->trigger();
        FindCommand(w.menuBar(), ID_CLIPBOARD_1 + 2)->trigger();
        QCOMPARE(commands, (std::vector<int>{ID_NOTES, ID_CLIPBOARD_1 + 2}));

        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        w.Tray().RestoreFromTray(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY2(qAbs(w.frameGeometry().center().x() - screen.center().x()) <= 1 &&
                     qAbs(w.frameGeometry().center().y() - screen.center().y()) <= 1,
                 "centred on the screen");

        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QTRY_VERIFY(main.isActiveWindow());
    }

    // The main window and the small windows keep their size; the large ones
    // fit the screen's height and may be resized: the editor takes the change, every other control
    // keeps its distance to its nearest edges.
    void sizes() {
        QTemporaryDir dir;
        test::Recorder rec;
        auto app = test::MakeRoot(rec, dir.filePath(QStringLiteral("meru.mer")));
        QVERIFY(app->Create());
        CMainDlg& main = app->MainWindow();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QCOMPARE(main.minimumSize(), main.maximumSize());

        for (CToolWindow* w : {static_cast<CToolWindow*>(app->Notes()),
                               static_cast<CToolWindow*>(app->Clipboard())}) {
            app->ShowToolWindow(w);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            const QRect avail = w->screen()->availableGeometry();
            QVERIFY2(avail.top() <= w->frameGeometry().top() &&
                         w->frameGeometry().bottom() <= avail.bottom(),
                     qPrintable(w->windowTitle()));
            QVERIFY(w->minimumSize() != w->maximumSize());

            auto* editor = w->Client()->findChild<QPlainTextEdit*>(QStringLiteral("edit1000"));
            if (!editor) editor = w->Client()->findChild<QPlainTextEdit*>(QStringLiteral("1000"));
            QVERIFY(editor);
            // Every button keeps its distance to the edges nearest to it.
            const QSize client = w->Client()->size();
            const QList<QPushButton*> buttons = w->Client()->findChildren<QPushButton*>();
            QVERIFY(buttons.size() >= 8);
            std::vector<QRect> before;
            for (auto* b : buttons) before.push_back(b->geometry());
            const QRect e0 = editor->geometry();
            w->resize(w->size() + QSize(40, 30));
            QTRY_COMPARE(w->Client()->size(), client + QSize(40, 30));
            QCOMPARE(editor->geometry(), e0.adjusted(0, 0, 40, 30));
            for (int i = 0; i < buttons.size(); ++i) {
                const QRect g = before[size_t(i)];
                const int dx = 2 * g.center().x() > client.width() ? 40 : 0;
                const int dy = 2 * g.center().y() > client.height() ? 30 : 0;
                QCOMPARE(buttons[i]->geometry(), g.translated(dx, dy));
            }
            w->hide();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The clock rests while its window is hidden and is current again the
    // moment it is shown; whether a focused picker is kept depends on the window.
    void clockRow() {
        for (auto focused : {CClockRow::FocusedPicker::Keep, CClockRow::FocusedPicker::Overwrite}) {
            const bool bKeep = focused == CClockRow::FocusedPicker::Keep;
            Clocked c(focused);
            QVERIFY(!c.clock->IsRunning());
            c.date->setDate(QDate(2001, 2, 3));
            c.window.show();
            QVERIFY(c.clock->IsRunning());
            QCOMPARE(c.date->date(), QDate::currentDate());

            c.window.hide();
            QVERIFY(!c.clock->IsRunning());
            c.window.show();
            QVERIFY(QTest::qWaitForWindowActive(&c.window));
            c.date->setFocus();
            QTRY_VERIFY(c.date->hasFocus());
            c.date->setDate(QDate(2001, 2, 3));
            QSignalSpy ticks(c.clock, &CClockRow::ticked);
            QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 1, 3000);
            QCOMPARE(c.date->date() == QDate(2001, 2, 3), bKeep);
            QVERIFY(qAbs(c.time->time().secsTo(QTime::currentTime())) <= 2);
        }
    }

    void editorTextKeepsEveryCharacter_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("lines") << QStringLiteral("one\ntwo\n");
        QTest::newRow("no-break space") << QStringLiteral("a\u00A0b");
        QTest::newRow("line separator") << QStringLiteral("a\u2028b");
        QTest::newRow("emoji and accents") << QStringLiteral("caffè 😀");
    }
    void editorTextKeepsEveryCharacter() {
        QFETCH(QString, text);
        QPlainTextEdit editor;
        editor.setPlainText(text);
        QCOMPARE(EditorText(&editor), text);
        QCOMPARE(FromUtf8(ToUtf8(text)), text);
    }

    // Every picture is drawn by one provider: the notes and the clipboard
    // window show the same face for the same button, and every number a
    // window uses has a picture.
    void onePictureForEachNumber() {
        for (int id : {128, 130, 131, 132, 133, 138, 139, 151, 152, 155, 156, 159, 162, 169, 178,
                       189, 193, 196}) {
            QVERIFY2(!res::Icon(id).isNull(), qPrintable(QString::number(id)));
            QVERIFY(!res::Icon(id).pixmap(20, 20).isNull());
        }
        QVERIFY(res::Icon(999).isNull());

        QTemporaryDir dir;
        test::Recorder rec;
        auto app = test::MakeRoot(rec, dir.filePath(QStringLiteral("meru.mer")));
        QVERIFY(app->Create());
        // Search (139) and the insert arrows (178) are in both windows.
        for (int id : {1006, 1037, 1039}) {
            const QIcon notes = app->Notes()->Button(id)->icon();
            const QIcon clip = app->Clipboard()->Button(id)->icon();
            QVERIFY(!notes.isNull());
            QCOMPARE(notes.cacheKey(), clip.cacheKey());
        }
    }
};

QTEST_MAIN(TestWindowKit)
#include "tst_window_kit.moc"
