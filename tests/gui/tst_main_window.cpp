// The main window: command routing of menu 177 from every place it is offered,
// Exit and Esc, hiding into the tray, titles, the clock and the Password command.
#include <QAction>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QScreen>

#include "gui/kit/about_dlg.h"
#include "gui/kit/menu177.h"
#include "app/meru_app.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "gui/main/main_dlg.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/contacts/contacts_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "gui/store/password_dlg.h"
#include "support/main_fixture.h"
#include "gui/kit/window_tray.h"
#include "gui/tray/system_tray.h"

using namespace meru;
using namespace meru::test;

namespace {

const int kAllCommands[] = {
    ID_RESTORE_MAIN, ID_NOTES, ID_CLIPBOARD_OPEN, ID_CLIPBOARD_CLEAR, 32777,   32778,     32779,
    32780,           32781,    ID_BOOKMARKS,      ID_CONTACTS,        ID_EXIT, ID_BROWSER};

struct Run {
    QTemporaryDir dir;
    Recorder rec;
    std::unique_ptr<CAppRoot> app;

    Run() : app(MakeRoot(rec, Path())) {}
    QString Path() const { return dir.filePath(QStringLiteral("meru.mer")); }
    CSystemTray& tray() const { return app->Tray(); }
    std::vector<QWidget*> ToolWindows() const {
        return {app->Notes(), app->Clipboard(), app->Bookmarks(), app->Contacts()};
    }
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { CDesktopWindowTray::SetTrayAvailableForTesting(true); }

    void routing_data();
    void routing();
    void buttons();
    void menuCaptions();
    void trayMenuAndDoubleClick();
    void escSavesAndEnds();
    void enterNeverEnds();
    void closeAndMinimiseHide();
    void withoutTrayWindowsMinimise();
    void titles();
    void commandLine_data();
    void commandLine();
    void clockOverwritesPickedDate();
    void passwordCommand_data();
    void passwordCommand();
    void passwordDialogRefusesOutsideCp1252();
    void passwordSetAsksTwice();
    void aboutFromBackgroundMenu();
};

void TestMainWindow::routing_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("id");
    for (const char* source : {"main", "notes", "clipboard", "bookmarks", "contacts", "tray"})
        for (int id : kAllCommands) {
            if (QString::fromLatin1(source) == QLatin1String("tray") && id == ID_BROWSER)
                continue;  // "Settings" is not part of the tray menu
            QTest::addRow("%s/%d", source, id) << QString::fromLatin1(source) << id;
        }
}

// Every command chosen anywhere reaches the main window and has its effect.
void TestMainWindow::routing() {
    QFETCH(QString, source);
    QFETCH(int, id);
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    QVERIFY(app.HasToolWindows());
    // Five copies in other programs; an entry other than the one asked for is current.
    for (int n = 1; n <= 5; ++n) run.rec.clipboard.Copy("entry " + std::to_string(n));
    QCOMPARE(app.ClipHistory().Count(), 5);
    app.SelectClip(id == ID_CLIPBOARD_1 ? 2 : 1);

    const std::map<QString, QWidget*> menus = {
        {"main", dlg.menuBar()},
        {"notes", app.Notes()->menuBar()},
        {"clipboard", app.Clipboard()->menuBar()},
        {"bookmarks", app.Bookmarks()->menuBar()},
        {"contacts", app.Contacts()->menuBar()},
        {"tray", run.tray().Menu()},
    };
    QAction* action = FindCommand(menus.at(source), id);
    QVERIFY2(action, "the menu offers the command");

    dlg.hide();
    for (QWidget* w : run.ToolWindows()) QVERIFY(!w->isVisible());
    const std::map<int, QWidget*> shows = {
        {ID_RESTORE_MAIN, &dlg},
        {ID_NOTES, app.Notes()},
        {ID_CLIPBOARD_OPEN, app.Clipboard()},
        {ID_BOOKMARKS, app.Bookmarks()},
        {ID_CONTACTS, app.Contacts()},
    };
    std::vector<QWidget*> all = run.ToolWindows();
    all.push_back(&dlg);

    action->trigger();

    if (auto it = shows.find(id); it != shows.end()) {
        for (QWidget* w : all) QCOMPARE(w->isVisible(), w == it->second);
    } else if (id >= 32777 && id <= 32781) {
        // Entry n is current, on the clipboard, and its digit is in the tray.
        const int n = id - 32776;
        QCOMPARE(app.ClipHistory().Current(), n - 1);
        QCOMPARE(run.rec.clipboard.Text(), "entry " + std::to_string(n));
        QCOMPARE(run.tray().CurrentIconId(), 188 + n);
    } else if (id == ID_CLIPBOARD_CLEAR) {
        QVERIFY(app.ClipHistory().IsEmpty());
        QCOMPARE(run.tray().CurrentIconId(), 152);
    } else if (id == ID_BROWSER) {
        QCOMPARE(run.rec.browserQuestions, 1);
    } else if (id == ID_EXIT) {
        QCOMPARE(run.rec.exits, std::vector<int>{0});
        QVERIFY(!app.HasToolWindows());
        const auto bytes = ReadBytes(run.Path());
        QVERIFY(bytes);
        QCOMPARE(bytes->size(), size_t(271));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } else {
        QFAIL("command without a check");
    }
    if (id != ID_EXIT) QVERIFY(run.rec.exits.empty());
    QVERIFY(run.rec.messages.empty());
}

void TestMainWindow::buttons() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    const std::pair<int, QWidget*> cases[] = {{1031, app.Notes()},
                                              {1036, app.Clipboard()},
                                              {1032, app.Bookmarks()},
                                              {1033, app.Contacts()}};
    for (auto [id, window] : cases) {
        QPushButton* b = dlg.Button(id);
        QVERIFY(b);
        QVERIFY(!window->isVisible());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY2(window->isVisible(), qPrintable(QString::number(id)));
    }
    run.rec.passwordAnswer = QStringLiteral("pw");
    QTest::mouseClick(dlg.Button(1065), Qt::LeftButton);
    QCOMPARE(app.m_data.m_strPassword, std::string("pw"));
    QCOMPARE(dlg.Button(1065)->text(), QStringLiteral("Password"));
}

void TestMainWindow::menuCaptions() {
    Run run;
    QMenuBar* bar = run.app->MainWindow().menuBar();
    QCOMPARE(bar->actions().size(), 2);
    QCOMPARE(bar->actions()[0]->text(), QStringLiteral("&Menu"));
    QCOMPARE(bar->actions()[1]->text(), QStringLiteral("Settings"));
    const std::pair<int, const char*> captions[] = {{32772, "&Restore main"},
                                                    {32785, "&Notes"},
                                                    {32782, "Open"},
                                                    {32790, "Cancella Tutto"},
                                                    {32777, "ClipBoard 1\tCtrl+1"},
                                                    {32781, "ClipBoard 5\tCtrl+5"},
                                                    {32783, "&Bookmarks"},
                                                    {32784, "C&ontacts"},
                                                    {32773, "&Exit\tEsc"},
                                                    {32791, "Browser"}};
    for (auto [id, caption] : captions)
        QCOMPARE(FindCommand(bar, id)->text(), QString::fromUtf8(caption));
    // Order of the first pop-up, separators included.
    QStringList items;
    for (QAction* a : bar->actions()[0]->menu()->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(items, (QStringList{"&Restore main", "-", "&Notes", "&ClipBoard", "&Bookmarks",
                                 "C&ontacts", "-", "&Exit\tEsc"}));
}

void TestMainWindow::trayMenuAndDoubleClick() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    QMenu* menu = run.tray().Menu();
    QVERIFY(menu);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("&Restore main"));
    QCOMPARE(menu->defaultAction(), menu->actions().first());
    QCOMPARE(run.tray().Icon()->toolTip(), QStringLiteral("MERU version 2.2"));
    QCOMPARE(run.tray().Icon()->contextMenu(), menu);

    dlg.hide();
    QCOMPARE(run.tray().HandleIconMessage(QSystemTrayIcon::DoubleClick), 1);
    QVERIFY(dlg.isVisible());

    // A click: on a StatusNotifierItem panel (no icon window of Qt's own) it
    // restores; in an XEmbed tray only the double-click does.
    QVERIFY(!CSystemTray::IsXEmbed());
    dlg.hide();
    run.tray().HandleIconMessage(QSystemTrayIcon::Trigger);
    QVERIFY(dlg.isVisible());
    {
        QWidget xembedIcon;  // stands for the icon window Qt makes in an XEmbed tray
        xembedIcon.setObjectName(QStringLiteral("QSystemTrayIconSys"));
        QVERIFY(CSystemTray::IsXEmbed());
        dlg.hide();
        run.tray().HandleIconMessage(QSystemTrayIcon::Trigger);
        QVERIFY(!dlg.isVisible());
        run.tray().HandleIconMessage(QSystemTrayIcon::DoubleClick);
        QVERIFY(dlg.isVisible());
    }

    // Icons by number: the clipboard entry 1-5 and the plain one.
    for (int id : {189, 190, 191, 192, 193, 152}) {
        QVERIFY(run.tray().ChangeIcon(id));
        QCOMPARE(run.tray().CurrentIconId(), id);
    }
    QVERIFY(!run.tray().ChangeIcon(999));

    // Not embedded anywhere: the bottom-right corner of the screen's work area.
    QRect rect;
    CSystemTray::FindTrayRect(rect);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(rect.size(), QSize(150, 30));
    QCOMPARE(rect.bottomRight(), area.bottomRight());
    QVERIFY(run.tray().DeleteIcon());
    QVERIFY(!run.tray().IsShown());
    QVERIFY(run.tray().DeleteIcon());  // a second time does nothing
}

void TestMainWindow::escSavesAndEnds() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.DatePicker()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(run.rec.exits, std::vector<int>{0});
    const auto bytes = ReadBytes(run.Path());
    QVERIFY(bytes);
    CMeruData back;
    QCOMPARE(ReadData(*bytes, back, {}).status, LoadStatus::Loaded);
    QCOMPARE(back, CMeruData{});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::enterNeverEnds() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    for (QWidget* w :
         {static_cast<QWidget*>(dlg.Button(1065)), static_cast<QWidget*>(dlg.Button(1031)),
          static_cast<QWidget*>(dlg.TimePicker())}) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
    }
    QVERIFY(run.rec.exits.empty());
    QVERIFY(!QFile::exists(run.Path()));
    QVERIFY(dlg.isVisible());
}

void TestMainWindow::closeAndMinimiseHide() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    std::vector<QWidget*> windows = run.ToolWindows();
    windows.insert(windows.begin(), &dlg);
    for (QWidget* w : windows) {
        CDesktopWindowTray::Instance().RestoreFromTray(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->close());  // refused: only hidden
        QVERIFY(!w->isVisible());

        CDesktopWindowTray::Instance().RestoreFromTray(w);
        w->showMinimized();
        QTRY_VERIFY(!w->isVisible());
        CDesktopWindowTray::Instance().RestoreFromTray(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMinimized());
        w->hide();
    }
    // Esc in a tool window hides it and gives the focus to the main window.
    dlg.show();
    CDesktopWindowTray::Instance().RestoreFromTray(app.Notes());
    QVERIFY(QTest::qWaitForWindowActive(app.Notes()));
    QTest::keyClick(app.Notes(), Qt::Key_Escape);
    QVERIFY(!app.Notes()->isVisible());
    QTRY_VERIFY(dlg.isActiveWindow());
    QVERIFY(run.rec.exits.empty());
    QVERIFY(!QFile::exists(run.Path()));
}

void TestMainWindow::withoutTrayWindowsMinimise() {
    CDesktopWindowTray::SetTrayAvailableForTesting(false);
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    for (QWidget* w : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(app.Contacts())}) {
        CDesktopWindowTray::Instance().HideToTray(w);  // hidden already: stays off the screen
        QVERIFY(!w->isVisible());
        CDesktopWindowTray::Instance().RestoreFromTray(w);
        w->close();
        QVERIFY(w->isVisible());
        QVERIFY(w->isMinimized());
        CDesktopWindowTray::Instance().RestoreFromTray(w);
        QVERIFY(!w->isMinimized());
    }
    CDesktopWindowTray::SetTrayAvailableForTesting(true);
}

void TestMainWindow::titles() {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString path = CMeruApp::DataPath(CMeruApp::ParseCommandLine({}));
    QDir::setCurrent(saved);
    QCOMPARE(path, QDir(dir.path()).canonicalPath() + QStringLiteral("/meru.mer"));

    Recorder rec;
    auto dlg = MakeRoot(rec, path);
    QVERIFY(dlg->Create());
    QCOMPARE(dlg->MainWindow().windowTitle(),
             QStringLiteral("MERU version 2.2 - [") + path + QStringLiteral("]"));
    QCOMPARE(dlg->Notes()->windowTitle(),
             QStringLiteral("MERU version 2.2 - NOTES - [") + path + QStringLiteral("]"));
    QCOMPARE(dlg->Clipboard()->windowTitle(), QStringLiteral("MERU version 2.2 - CLIPBOARD"));
    QCOMPARE(dlg->Bookmarks()->windowTitle(), QStringLiteral("MERU version 2.2 - BOOKMARKS"));
    QCOMPARE(dlg->Contacts()->windowTitle(),
             QStringLiteral("MERU version 2.2 - CONTACTS [") + path + QStringLiteral("]"));
    for (CToolWindow* w :
         {static_cast<CToolWindow*>(dlg->Notes()), static_cast<CToolWindow*>(dlg->Clipboard()),
          static_cast<CToolWindow*>(dlg->Bookmarks()),
          static_cast<CToolWindow*>(dlg->Contacts())}) {
        QCOMPARE(w->Signature()->text(), QStringLiteral("Tessalunde"));
        QVERIFY(!w->windowIcon().isNull());
        QVERIFY(!w->isVisible());  // created hidden
    }
    // The notes and clipboard windows are 447 x 292 dialog units of their font.
    const CDialogUnits& du = dlg->Notes()->Du();
    QCOMPARE(dlg->Notes()->Client()->size(), du.Size(447, 292));
    QCOMPARE(dlg->Contacts()->Client()->size(), dlg->Contacts()->Du().Size(258, 293));
    QCOMPARE(dlg->MainWindow().Client()->size(), dlg->MainWindow().Du().Size(272, 85));
}

void TestMainWindow::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("automation");
    QTest::newRow("none") << QStringList{} << QString() << false;
    QTest::newRow("relative kept") << QStringList{"data/x.mer"} << "data/x.mer" << false;
    QTest::newRow("first wins") << QStringList{"a.mer", "b.mer"} << "a.mer" << false;
    QTest::newRow("switches skipped")
        << QStringList{"-Embedding", "/abs/m.mer"} << "/abs/m.mer" << true;
    QTest::newRow("automation") << QStringList{"-Automation"} << QString() << true;
    QTest::newRow("other switch") << QStringList{"-x", "--verbose", "f"} << "f" << false;
}

void TestMainWindow::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(bool, automation);
    const auto cmd = CMeruApp::ParseCommandLine(args);
    QCOMPARE(cmd.strFile, file);
    QCOMPARE(cmd.bAutomation, automation);
    if (!file.isEmpty()) QCOMPARE(CMeruApp::DataPath(cmd), file);
}

void TestMainWindow::clockOverwritesPickedDate() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    dlg.show();
    dlg.DatePicker()->setDate(QDate(2001, 2, 3));
    dlg.TimePicker()->setTime(QTime(1, 2, 3));
    QTRY_COMPARE_WITH_TIMEOUT(dlg.DatePicker()->date(), QDate::currentDate(), 2500);
    QVERIFY(qAbs(dlg.TimePicker()->time().secsTo(QTime::currentTime())) <= 2);

    // In the tray the clock rests; shown again, the pickers are current at once.
    dlg.close();
    QVERIFY(!dlg.isVisible());
    dlg.DatePicker()->setDate(QDate(2001, 2, 3));
    QTest::qWait(1300);
    QCOMPARE(dlg.DatePicker()->date(), QDate(2001, 2, 3));
    app.OnCommand(ID_RESTORE_MAIN);
    QCOMPARE(dlg.DatePicker()->date(), QDate::currentDate());
}

void TestMainWindow::passwordCommand_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QVariant>("answer");  // invalid: Cancel
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("refused");
    QTest::newRow("set") << "" << QVariant("segreto") << "segreto" << false;
    QTest::newRow("change") << "vecchia" << QVariant("nuova") << "nuova" << false;
    QTest::newRow("remove") << "vecchia" << QVariant("") << "" << false;
    QTest::newRow("cancel") << "vecchia" << QVariant() << "vecchia" << false;
    QTest::newRow("accents and euro") << "" << QVariant("città€") << "città€" << false;
    QTest::newRow("outside cp1252") << "vecchia" << QVariant("пароль") << "vecchia" << true;
}

// Set, change and remove reach the file at Exit; a refused one changes nothing.
void TestMainWindow::passwordCommand() {
    QFETCH(QString, before);
    QFETCH(QVariant, answer);
    QFETCH(QString, after);
    QFETCH(bool, refused);
    Run run;
    CAppRoot& app = *run.app;
    QVERIFY(app.Create());
    app.m_data.m_strPassword = before.toStdString();
    app.m_data.m_aPages = {"pagina uno"};
    if (answer.isValid()) run.rec.passwordAnswer = answer.toString();
    app.OnCommand(1065);
    QCOMPARE(run.rec.passwordShown, before);
    QCOMPARE(QString::fromStdString(app.m_data.m_strPassword), after);
    QCOMPARE(run.rec.messages.size(), size_t(refused ? 1 : 0));
    if (refused) QCOMPARE(run.rec.messages[0].second, CPasswordDlg::RefusalText());

    app.ExitProgram();
    QCOMPARE(run.rec.exits, std::vector<int>{0});
    const auto bytes = ReadBytes(run.Path());
    QVERIFY(bytes);
    CMeruData back;
    int asked = 0;
    const auto out = ReadData(*bytes, back, [&] {
        ++asked;
        return std::optional<std::string>(after.toStdString());
    });
    QCOMPARE(asked, after.isEmpty() ? 0 : 1);
    QCOMPARE(out.status, LoadStatus::Loaded);
    QCOMPARE(back.m_aPages, std::vector<std::string>{"pagina uno"});
    QCOMPARE(QString::fromStdString(back.m_strPassword), after);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::passwordDialogRefusesOutsideCp1252() {
    CPasswordDlg dlg;
    QStringList refusals;
    dlg.SetRefuseHandler([&](const QString& t) { refusals << t; });
    dlg.m_strPassword = QStringLiteral("attuale");
    dlg.open();
    QCOMPARE(dlg.Edit()->text(), QStringLiteral("attuale"));  // pre-filled
    QCOMPARE(dlg.Edit()->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Password"));

    dlg.Edit()->setText(QStringLiteral("chiave🔑"));
    dlg.accept();
    QCOMPARE(refusals.size(), 1);
    QVERIFY(dlg.isVisible());  // stays open
    QCOMPARE(dlg.m_strPassword, QStringLiteral("attuale"));

    dlg.Edit()->setText(QStringLiteral("perché"));
    dlg.accept();
    QCOMPARE(refusals.size(), 1);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_strPassword, QStringLiteral("perché"));
}

void TestMainWindow::passwordSetAsksTwice() {
    // The start-up prompt: one labelled field.
    CPasswordDlg enter;
    QVERIFY(!enter.ConfirmEdit());
    QCOMPARE(enter.findChildren<QLabel*>().size(), 1);
    QCOMPARE(enter.findChild<QLabel*>()->buddy(), static_cast<QWidget*>(enter.Edit()));
    QCOMPARE(enter.findChild<QLabel*>()->text(), QStringLiteral("&Password:"));

    // Setting one: both fields must agree; the current one pre-fills both.
    CPasswordDlg dlg(nullptr, CPasswordDlg::Mode::Set);
    QStringList refusals;
    dlg.SetRefuseHandler([&](const QString& t) { refusals << t; });
    dlg.m_strPassword = QStringLiteral("vecchia");
    dlg.open();
    QVERIFY(dlg.ConfirmEdit());
    QCOMPARE(dlg.ConfirmEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.ConfirmEdit()->text(), QStringLiteral("vecchia"));
    dlg.Edit()->setText(QStringLiteral("nuova"));
    dlg.accept();  // the second field still holds the old one
    QCOMPARE(refusals, QStringList{CPasswordDlg::MismatchText()});
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.m_strPassword, QStringLiteral("vecchia"));
    dlg.ConfirmEdit()->setText(QStringLiteral("nuvoa"));
    dlg.accept();
    QCOMPARE(refusals.size(), 2);
    QVERIFY(dlg.isVisible());
    dlg.ConfirmEdit()->setText(QStringLiteral("nuova"));
    dlg.accept();
    QCOMPARE(refusals.size(), 2);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_strPassword, QStringLiteral("nuova"));
}

void TestMainWindow::aboutFromBackgroundMenu() {
    Run run;
    CAppRoot& app = *run.app;
    CMainDlg& dlg = app.MainWindow();
    QVERIFY(app.Create());
    for (CMeruWindow* w :
         {static_cast<CMeruWindow*>(&dlg), static_cast<CMeruWindow*>(app.Bookmarks())}) {
        std::unique_ptr<QMenu> menu(w->BuildSystemMenu(nullptr));
        QCOMPARE(menu->actions().size(), 1);
        QAction* about = menu->actions().first();
        QCOMPARE(about->text(), QStringLiteral("Infor&mazioni su MERU..."));
        QString seenVersion;
        QString seenTitle;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<CAboutDlg*>(QApplication::activeModalWidget()));
            auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            seenVersion = box->VersionLabel()->text();
            seenTitle = box->windowTitle();
            box->accept();
        });
        about->trigger();
        QCOMPARE(seenVersion, QStringLiteral("MERU version 2.2"));
        QCOMPARE(seenTitle, QStringLiteral("About MERU"));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
