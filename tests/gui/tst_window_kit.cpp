// The window kit: the tool-window frame, the clock row, the editor text
// helper and the pictures every window shares.
#include <QDateEdit>
#include <QMenuBar>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include "gui/bookmarks/bookmark_list_page.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "gui/bookmarks/rename_group_dlg.h"
#include "gui/bookmarks/url_dlg.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/contacts/contact_dlg.h"
#include "gui/contacts/contacts_dlg.h"
#include "gui/kit/about_dlg.h"
#include "gui/mail/mail_compose_dlg.h"
#include "gui/mail/mail_settings_dlg.h"
#include "gui/notes/page_list_dlg.h"
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
    // fit the screen and may be resized: the list or editor takes the change,
    // every other control keeps its distance to its nearest edges.
    void sizes() {
        QTemporaryDir dir;
        test::Recorder rec;
        auto app = test::MakeRoot(rec, dir.filePath(QStringLiteral("meru.mer")));
        QVERIFY(app->Create());
        CMainDlg& main = app->MainWindow();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QCOMPARE(main.minimumSize(), main.maximumSize());
        for (QDialog* small : std::initializer_list<QDialog*>{
                 new CUrlDlg(&main), new CRenameGroupDlg(&main), new CContactDlg(&main),
                 new CMailSettingsDlg(&main), new CAboutDlg(QStringLiteral("v"), &main)}) {
            QCOMPARE(small->minimumSize(), small->maximumSize());
            delete small;
        }

        auto* pageList = new CPageListDlg(&main);
        auto* compose = new CMailComposeDlg(&main);
        struct Case {
            QWidget* window;
            QWidget* client;      // where the controls are
            const char* stretch;  // the control that takes the change
        };
        const Case cases[] = {
            {app->Notes(), app->Notes()->Client(), "edit1000"},
            {app->Clipboard(), app->Clipboard()->Client(), "1000"},
            {app->Bookmarks(), app->Bookmarks()->Client(), "1075"},
            {app->Contacts(), app->Contacts()->Client(), "1048"},
            {pageList, pageList, "list1025"},
            {compose, compose, "edit1000"},
        };
        for (const Case& c : cases) {
            QWidget* w = c.window;
            const QByteArray name = w->metaObject()->className();
            if (auto* tool = qobject_cast<CToolWindow*>(w))
                app->ShowToolWindow(tool);
            else
                w->show();
            QVERIFY2(QTest::qWaitForWindowExposed(w), name);
            // Inside the screen's free area (only the height gives way: a
            // screen narrower than the window gets its left part), centred.
            const QRect avail = w->screen()->availableGeometry();
            const QRect frame = w->frameGeometry();
            const QString where = name + ": " + QString::number(frame.width()) + "x" +
                                  QString::number(frame.height()) + " on " +
                                  QString::number(avail.width()) + "x" +
                                  QString::number(avail.height());
            QVERIFY2(avail.top() <= frame.top() && frame.bottom() <= avail.bottom(),
                     qPrintable(where));
            if (std::max(w->minimumWidth(), w->minimumSizeHint().width()) <= avail.width()) {
                QVERIFY2(avail.left() <= frame.left() && frame.right() <= avail.right(),
                         qPrintable(where));
                QVERIFY2(qAbs(frame.center().x() - avail.center().x()) <= 1, qPrintable(where));
            } else {
                QCOMPARE(frame.left(), avail.left());
            }
            QVERIFY2(qAbs(frame.center().y() - avail.center().y()) <= 1, qPrintable(where));
            QVERIFY2(w->minimumSize() != w->maximumSize(), name);

            auto* stretch = c.client->findChild<QWidget*>(QString::fromLatin1(c.stretch));
            QVERIFY2(stretch, name);
            // Every other control keeps its distance to the edges nearest to it.
            const QSize client = c.client->size();
            std::vector<std::pair<QWidget*, QRect>> before;
            for (QObject* o : c.client->children())
                if (auto* cw = qobject_cast<QWidget*>(o); cw && !cw->isWindow() && cw != stretch)
                    before.emplace_back(cw, cw->geometry());
            const QRect s0 = stretch->geometry();
            w->resize(w->size() + QSize(40, 30));
            QTRY_COMPARE(c.client->size(), client + QSize(40, 30));
            QCOMPARE(stretch->geometry(), s0.adjusted(0, 0, 40, 30));
            int nMoved = 0;
            for (const auto& [cw, g] : before) {
                if (g.contains(s0)) continue;  // the frame around the list
                // Near the far edge it moves all the way, in the middle half of it.
                auto shift = [](int nFrom, int nTo, int nWhole, int d) {
                    if (qAbs(nFrom + nTo - nWhole) <= nWhole / 50) return d / 2;
                    return nFrom + nTo > nWhole ? d : 0;
                };
                const int dx = shift(g.left(), g.right() + 1, client.width(), 40);
                const int dy = shift(g.top(), g.bottom() + 1, client.height(), 30);
                QVERIFY2(cw->geometry() == g.translated(dx, dy),
                         qPrintable(name + " " + cw->objectName() + " " +
                                    cw->metaObject()->className()));
                nMoved += dx || dy;
            }
            QVERIFY2(nMoved > 0, name);  // something is below or right of the list
            if (w == app->Bookmarks()) {
                // The tabs and the list page beside them take it too.
                QCOMPARE(app->Bookmarks()->TabBar()->height(), stretch->height());
                QCOMPARE(app->Bookmarks()->ListPage()->geometry().bottomRight(),
                         stretch->rect().bottomRight() - QPoint(2, 2));
            }

            // Hidden and shown again, it keeps its place and size.
            const QRect kept = w->geometry();
            w->hide();
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCOMPARE(w->geometry(), kept);
            w->hide();
        }
        delete pageList;
        delete compose;
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
