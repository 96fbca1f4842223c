// The bookmarks window: groups by tab and drop-down, Url/Mod/Cancella/Dir,
// opening in a browser, bookmark files and dropped links.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QStringListModel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/bookmarks/bookmark_list_page.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "gui/bookmarks/rename_group_dlg.h"
#include "gui/bookmarks/url_dlg.h"
#include "core/bookmarks/bookmark_html.h"
#include "platform/clipboard.h"
#include "support/main_fixture.h"
#include "support/when_modal.h"

using namespace meru;
using namespace meru::test;

namespace {

// A main window on a fresh data file, with recorded launcher, clipboard and
// messages; its bookmarks window is the one under test.
struct Fixture {
    QTemporaryDir dir;
    Recorder rec;
    CFakeClipboard clipboard;
    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    std::unique_ptr<CAppRoot> main;

    Fixture() {
        AppServices s;
        s.showMessage = [this](QMessageBox::Icon i, const QString& t) {
            rec.messages.emplace_back(i, t);
        };
        s.exitProcess = [this](int code) { rec.exits.push_back(code); };
        s.launcher = &rec.launcher;
        s.clipboard = &clipboard;
        s.hotkeys = &rec.hotkeys;
        main = std::make_unique<CAppRoot>(QStringLiteral("MERU version 2.2"),
                                          dir.filePath(QStringLiteral("meru.mer")), s);
        main->Create();
        Dlg().m_fnShowMessage = [this](QMessageBox::Icon i, const QString& t) {
            messages.emplace_back(i, t);
        };
    }
    CBookmarksDlg& Dlg() const { return *main->Bookmarks(); }
    BookmarkGroups& Groups() const { return main->m_data.m_aGroups; }
    QListView* List() const { return Dlg().ListPage()->List(); }
    QStringList Rows() const { return Dlg().ListPage()->Model()->stringList(); }
    int Highlighted() const {
        const auto sel = List()->selectionModel()->selectedRows();
        return sel.isEmpty() ? -1 : sel.first().row();
    }
    void Fill() {
        Groups()[0].m_aBookmarks = {
            {"c", "c.example"}, {"a", "https://a.example/"}, {"b", "b.example"}};
        Groups()[1].m_aBookmarks = {{"x", "x.example"}};
        Dlg().RefreshWindow();
    }
    void ShowWindow() {
        Dlg().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dlg()));
    }
    // A click on row `row` as the user makes it.
    void ClickRow(int row) {
        const QRect r = List()->visualRect(Dlg().ListPage()->Model()->index(row));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    }
    void DoubleClickRow(int row) {
        const QRect r = List()->visualRect(Dlg().ListPage()->Model()->index(row));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    }
};

std::string Names(const CBookmarkGroup& g) {
    std::string out;
    for (const auto& b : g.m_aBookmarks) out += b.m_strName + ";";
    return out;
}

QString WriteScript(const QString& path, const QByteArray& body, QFile::Permissions perms) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(body);
    f.close();
    f.setPermissions(perms);
    return path;
}

}  // namespace

class TestBookmarksDlg : public QObject {
    Q_OBJECT
private slots:
    void tabsAndDropDownStayInStep() {
        Fixture fx;
        CBookmarksDlg& dlg = fx.Dlg();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("MERU version 2.2 - BOOKMARKS"));
        QCOMPARE(dlg.TabBar()->count(), 20);
        QCOMPARE(dlg.TabBar()->tabText(0), QStringLiteral("Grp.1"));
        QCOMPARE(dlg.TabBar()->tabText(19), QStringLiteral("Grp.20"));
        QCOMPARE(dlg.GroupList()->count(), 20);
        QCOMPARE(dlg.GroupList()->itemText(19), QStringLiteral("Group 20"));
        QCOMPARE(dlg.GroupList()->currentIndex(), 0);
        fx.Fill();
        QCOMPARE(fx.Rows(), (QStringList{"1. a", "2. b", "3. c"}));

        dlg.TabBar()->setCurrentIndex(1);  // as a click on the tab does
        QCOMPARE(dlg.m_book.CurrentGroup(), 1);
        QCOMPARE(dlg.GroupList()->currentIndex(), 1);
        QCOMPARE(fx.Rows(), QStringList{"1. x"});

        dlg.GroupList()->setCurrentIndex(12);  // a choice in the drop-down
        QCOMPARE(dlg.m_book.CurrentGroup(), 12);
        QCOMPARE(dlg.TabBar()->currentIndex(), 12);
        QVERIFY(fx.Rows().isEmpty());

        // Typing into the drop-down's field changes nothing.
        QTest::keyClicks(dlg.GroupList()->lineEdit(), "typed");
        QTest::keyClick(dlg.GroupList()->lineEdit(), Qt::Key_Return);
        QCOMPARE(fx.Groups()[12].m_strName, std::string("Group 13"));
        QCOMPARE(dlg.GroupList()->count(), 20);
        QCOMPARE(dlg.m_book.CurrentGroup(), 12);
    }

    void urlAddsWithTheClipboardsAddress_data() {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<bool>("ok");
        QTest::newRow("clipboard address, OK") << "https://example.org/page" << true;
        QTest::newRow("empty clipboard, OK") << "" << true;
        QTest::newRow("Cancel changes nothing") << "https://example.org/page" << false;
    }
    void urlAddsWithTheClipboardsAddress() {
        QFETCH(QString, clipboard);
        QFETCH(bool, ok);
        Fixture fx;
        fx.Fill();
        if (!clipboard.isEmpty()) fx.clipboard.Copy(clipboard.toStdString());
        fx.Dlg().SelectGroup(1);
        QString shownUrl, shownName, focus;
        WhenModal<CUrlDlg>([&](CUrlDlg* d) {
            shownUrl = d->UrlEdit()->text();
            shownName = d->NameEdit()->text();
            focus =
                QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
            d->NameEdit()->setText(QStringLiteral("Aardvark & co"));
            ok ? d->accept() : d->reject();
        });
        fx.Dlg().Button(1008)->click();
        QCOMPARE(shownUrl, clipboard);
        QCOMPARE(shownName, QString());
        QCOMPARE(focus, QStringLiteral("1046"));
        if (ok) {
            const std::string url = clipboard.toStdString();
            QCOMPARE(fx.Groups()[1].m_aBookmarks,
                     (std::vector<CBookmark>{{"Aardvark & co", url}, {"x", "x.example"}}));
            QCOMPARE(fx.Rows(), (QStringList{"1. Aardvark & co", "2. x"}));
        } else {
            QCOMPARE(fx.Groups()[1].m_aBookmarks, (std::vector<CBookmark>{{"x", "x.example"}}));
        }
    }

    void modifyAndDeleteFollowTheSelectedRowAcrossGroups() {
        Fixture fx;
        fx.Fill();
        fx.ShowWindow();
        CBookmarksDlg& dlg = fx.Dlg();
        fx.ClickRow(2);  // "c"
        QCOMPARE(dlg.m_book.SelectedRow(), 2);

        // Group 2 has one bookmark: nothing highlighted, Mod and Cancella idle.
        dlg.TabBar()->setCurrentIndex(1);
        QCOMPARE(fx.Highlighted(), -1);
        // Should Mod open its dialog after all, this closes it (and tells).
        bool asked = false;
        QTimer::singleShot(0, [&] {
            if (auto* d = qobject_cast<CUrlDlg*>(QApplication::activeModalWidget())) {
                asked = true;
                d->reject();
            }
        });
        dlg.Button(1010)->click();
        dlg.Button(1007)->click();
        QCoreApplication::processEvents();
        QVERIFY(!asked);
        QCOMPARE(Names(fx.Groups()[1]), std::string("x;"));

        // Back in group 1, row 2 is highlighted again and Mod edits "c".
        dlg.GroupList()->setCurrentIndex(0);
        QCOMPARE(fx.Highlighted(), 2);
        WhenModal<CUrlDlg>([&](CUrlDlg* d) {
            QCOMPARE(d->NameEdit()->text(), QStringLiteral("c"));
            QCOMPARE(d->UrlEdit()->text(), QStringLiteral("c.example"));
            d->NameEdit()->setText(QStringLiteral("0 first"));
            d->accept();
        });
        dlg.Button(1010)->click();
        // Re-sorted; the highlight stays at row 2, now on "b".
        QCOMPARE(fx.Rows(), (QStringList{"1. 0 first", "2. a", "3. b"}));
        QCOMPARE(fx.Highlighted(), 2);
        QCOMPARE(fx.Groups()[0].m_aBookmarks[0], (CBookmark{"0 first", "c.example"}));

        // Deleting another row keeps the index: it now marks the next one.
        fx.ClickRow(0);
        dlg.Button(1007)->click();
        QCOMPARE(fx.Rows(), (QStringList{"1. a", "2. b"}));
        QCOMPARE(fx.Highlighted(), 0);
        // Deleting the last row leaves nothing highlighted.
        fx.ClickRow(1);
        dlg.Button(1007)->click();
        QCOMPARE(fx.Rows(), QStringList{"1. a"});
        QCOMPARE(fx.Highlighted(), -1);
        dlg.Button(1007)->click();
        QCOMPARE(fx.Rows(), QStringList{"1. a"});
    }

    void renameAcceptsAnEmptyName() {
        Fixture fx;
        fx.Dlg().SelectGroup(3);
        QString attual, shownNew;
        bool attualReadOnly = false;
        WhenModal<CRenameGroupDlg>([&](CRenameGroupDlg* d) {
            attual = d->AttualNameEdit()->text();
            attualReadOnly = d->AttualNameEdit()->isReadOnly();
            shownNew = d->NewNameEdit()->text();
            d->NewNameEdit()->clear();
            d->accept();
        });
        fx.Dlg().Button(1009)->click();
        QCOMPARE(attual, QStringLiteral("Group 4"));
        QCOMPARE(shownNew, QStringLiteral("Group 4"));
        QVERIFY(attualReadOnly);
        QCOMPARE(fx.Groups()[3].m_strName, std::string());
        QCOMPARE(fx.Dlg().GroupList()->itemText(3), QString());
        QCOMPARE(fx.Dlg().GroupList()->currentIndex(), 3);
        QCOMPARE(fx.Dlg().TabBar()->tabText(3), QStringLiteral("Grp.4"));
    }

    void escInTheListHidesTheWindow() {
        Fixture fx;
        fx.Fill();
        fx.ShowWindow();
        fx.List()->setFocus();
        QTRY_VERIFY(fx.List()->hasFocus());
        QTest::keyClick(fx.List(), Qt::Key_Escape);
        QTRY_VERIFY(!fx.Dlg().isVisible());
        QCOMPARE(Names(fx.Groups()[0]), std::string("a;b;c;"));
    }

    void doubleClickStartsTheChosenBrowser() {
        Fixture fx;
        fx.Fill();
        fx.ShowWindow();
        const QString before = QDir::currentPath();

        // No browser chosen: the desktop's default one, with the formed address.
        fx.DoubleClickRow(1);  // "b", "b.example"
        QTRY_COMPARE(fx.rec.launcher.calls.size(), size_t(1));
        QCOMPARE(fx.rec.launcher.calls[0].kind, CFakeLauncher::Call::Url);
        QCOMPARE(fx.rec.launcher.calls[0].url, QUrl(QStringLiteral("http://b.example")));

        // A chosen program: full path and the address as arguments, its folder
        // as working directory; an https address keeps its scheme.
        const QString folder = fx.dir.filePath(QStringLiteral("my browser"));
        QVERIFY(QDir().mkpath(folder));
        WriteScript(folder + "/browse", "#!/bin/sh\n",
                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        fx.main->m_data.m_browser = {"browse", folder.toStdString()};
        fx.DoubleClickRow(0);  // "a", "https://a.example/"
        QTRY_COMPARE(fx.rec.launcher.calls.size(), size_t(2));
        const auto& call = fx.rec.launcher.calls[1];
        QCOMPARE(call.kind, CFakeLauncher::Call::Process);
        QCOMPARE(call.program, folder + "/browse");
        QCOMPARE(call.args, QStringList{"https://a.example/"});
        QCOMPARE(call.workingDir, folder);
        QCOMPARE(QDir::currentPath(), before);
        QVERIFY(fx.messages.empty());
    }

    void aBrowserThatCannotStartIsReported_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<bool>("launcherFails");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "gone" << false << false << "No such file or directory";
        QTest::newRow("not executable") << "plain" << false << false << "Permission denied";
        QTest::newRow("the system refuses")
            << "browse" << true << true << "The system could not start it.";
    }
    void aBrowserThatCannotStartIsReported() {
        QFETCH(QString, program);
        QFETCH(bool, executable);
        QFETCH(bool, launcherFails);
        QFETCH(QString, reason);
        Fixture fx;
        fx.Fill();
        const QString folder = fx.dir.path();
        if (program != "gone")
            WriteScript(folder + "/" + program, "#!/bin/sh\n",
                        QFile::ReadOwner | QFile::WriteOwner |
                            (executable ? QFile::ExeOwner : QFile::Permissions()));
        fx.rec.launcher.result = !launcherFails;
        fx.main->m_data.m_browser = {program.toStdString(), folder.toStdString()};
        fx.Dlg().m_book.SetSelectedRow(0);
        fx.Dlg().OpenBookmark();
        QCOMPARE(fx.messages.size(), size_t(1));
        QCOMPARE(fx.messages[0].first, QMessageBox::Warning);
        QCOMPARE(fx.messages[0].second, QStringLiteral("Impossibile avviare il browser\n%1\n%2")
                                            .arg(folder + "/" + program, reason));
        QCOMPARE(fx.rec.launcher.calls.size(), size_t(launcherFails ? 1 : 0));
        QCOMPARE(Names(fx.Groups()[0]), std::string("a;b;c;"));
    }

    void importAndExportBookmarkFiles() {
        Fixture fx;
        fx.Fill();
        fx.Groups()[0].m_strName = "Tom & <Jerry>";
        const QString out = fx.dir.filePath(QStringLiteral("out.html"));
        fx.Dlg().m_fnChooseExportFile = [&] { return out; };
        fx.Dlg().ExportBookmarks();
        const auto html = ReadBytes(out);
        QVERIFY(html);
        const ParsedBookmarks parsed = ParseBookmarksHtml(*html);
        QVERIFY(parsed.ok);
        QCOMPARE(parsed.links.size(), size_t(4));

        // Into group 2, which holds "x.example" already.
        fx.Dlg().SelectGroup(1);
        fx.Dlg().m_fnChooseImportFile = [&] { return out; };
        fx.Dlg().ImportBookmarks();
        QCOMPARE(Names(fx.Groups()[1]), std::string("a;b;c;x;"));
        QCOMPARE(
            fx.messages.back(),
            std::make_pair(QMessageBox::Information,
                           QStringLiteral("3 bookmarks added, 1 skipped (already in the group).")));
        QCOMPARE(fx.Rows().size(), 4);

        // A foreign file: a clear message and nothing changes.
        const QString page = fx.dir.filePath(QStringLiteral("page.html"));
        QVERIFY(WriteBytes(page, "<html><a href=\"http://y.example\">y</a></html>"));
        fx.Dlg().ImportBookmarksFrom(page);
        QCOMPARE(fx.messages.back().first, QMessageBox::Warning);
        QVERIFY(fx.messages.back().second.contains(QStringLiteral("not a bookmark file")));
        QCOMPARE(Names(fx.Groups()[1]), std::string("a;b;c;x;"));
    }

    void linkFromDraggedData_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("title");
        const QString moz = QStringLiteral("https://m.example/\nM\u00fcller & Co");
        QTest::newRow("Firefox text/x-moz-url (UTF-16)")
            << "text/x-moz-url"
            << QByteArray(reinterpret_cast<const char*>(moz.utf16()), moz.size() * 2)
            << "https://m.example/"
            << "M\u00fcller & Co";
        QTest::newRow("plain text address")
            << "text/plain" << QByteArray("  ftp://f.example/x \n") << "ftp://f.example/x"
            << "";
        QTest::newRow("plain text that is no address")
            << "text/plain" << QByteArray("just words") << ""
            << "";
    }
    void linkFromDraggedData() {
        QFETCH(QString, format);
        QFETCH(QByteArray, data);
        QFETCH(QString, url);
        QFETCH(QString, title);
        QMimeData mime;
        mime.setData(format, data);
        const auto link = LinkFromMime(&mime);
        QCOMPARE(link.has_value(), !url.isEmpty());
        if (link) {
            QCOMPARE(link->url, url);
            QCOMPARE(link->title, title);
        }
    }

    void droppedLinkOpensTheUrlDialog() {
        Fixture fx;
        fx.ShowWindow();
        // Chromium's way: a URL list and an anchor in HTML.
        QMimeData mime;
        mime.setUrls({QUrl(QStringLiteral("https://c.example/a?b=1"))});
        mime.setHtml(QStringLiteral(
            "<meta charset='utf-8'><a href=\"https://c.example/a?b=1\">Chromium &amp; co</a>"));
        QString shownUrl, shownName;
        WhenModal<CUrlDlg>([&](CUrlDlg* d) {
            shownUrl = d->UrlEdit()->text();
            shownName = d->NameEdit()->text();
            d->accept();
        });
        QWidget* target = fx.List()->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(fx.Groups()[0].m_aBookmarks.size(), size_t(1));
        QCOMPARE(shownUrl, QStringLiteral("https://c.example/a?b=1"));
        QCOMPARE(shownName, QStringLiteral("Chromium & co"));
        QCOMPARE(fx.Rows(), QStringList{"1. Chromium & co"});
    }
};

QTEST_MAIN(TestBookmarksDlg)
#include "tst_bookmarks_dlg.moc"
