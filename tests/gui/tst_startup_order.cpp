// The program shows its main window first and makes the hidden tool windows
// right after; nothing a user can do comes before them.
#include <QTemporaryDir>
#include <QTest>

#include "gui/kit/menu177.h"
#include "gui/main/main_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "support/main_fixture.h"

using namespace meru;
using namespace meru::test;

class TestStartupOrder : public QObject {
    Q_OBJECT
private slots:
    void toolWindowsFollowTheFirstPaint() {
        QTemporaryDir dir;
        Recorder rec;
        auto dlg = MakeRoot(rec, dir.filePath("meru.mer"));
        QVERIFY(dlg->Create(/*bDeferToolWindows=*/true));
        QVERIFY(!dlg->HasToolWindows());
        dlg->MainWindow().show();
        QTRY_VERIFY_WITH_TIMEOUT(dlg->HasToolWindows(), 5000);
        QVERIFY(!dlg->Notes()->isVisible());
    }

    void aCommandBeforeThemMakesThemFirst() {
        QTemporaryDir dir;
        Recorder rec;
        auto dlg = MakeRoot(rec, dir.filePath("meru.mer"));
        QVERIFY(dlg->Create(/*bDeferToolWindows=*/true));
        QVERIFY(dlg->OnCommand(ID_NOTES));
        QVERIFY(dlg->HasToolWindows());
        QVERIFY(dlg->Notes()->isVisible());
        QVERIFY(rec.messages.empty());  // not the "could not be read" refusal
    }

    void unreadableFileStillMakesNone() {
        QTemporaryDir dir;
        Recorder rec;
        // Version 22, then a 5-byte password of which only 2 bytes are there.
        QVERIFY(WriteBytes(dir.filePath("meru.mer"), std::string("\x03MER\x16\x00\x00\x00\x05"
                                                                 "ab",
                                                                 11)));
        auto dlg = MakeRoot(rec, dir.filePath("meru.mer"));
        QVERIFY(dlg->Create(/*bDeferToolWindows=*/true));
        dlg->MainWindow().show();
        dlg->FinishStartup();
        QVERIFY(!dlg->HasToolWindows());
    }
};

QTEST_MAIN(TestStartupOrder)
#include "tst_startup_order.moc"
