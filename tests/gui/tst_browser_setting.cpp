// Settings > Browser: the chosen program and its folder are kept with the data.
#include <QTemporaryDir>
#include <QTest>

#include "gui/kit/menu177.h"
#include "core/store/datafile.h"
#include "support/main_fixture.h"

using namespace meru;
using namespace meru::test;

class TestBrowserSetting : public QObject {
    Q_OBJECT
private slots:
    void choiceIsStoredAndSaved_data() {
        QTest::addColumn<QString>("chosen");  // "" = cancelled
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("folder");
        QTest::newRow("program in a folder") << "/opt/my browser/firefox"
                                             << "firefox"
                                             << "/opt/my browser";
        QTest::newRow("program at the root") << "/browser"
                                             << "browser"
                                             << "";
        QTest::newRow("cancelled keeps the old") << ""
                                                 << "old"
                                                 << "/usr/old";
    }
    void choiceIsStoredAndSaved() {
        QFETCH(QString, chosen);
        QFETCH(QString, program);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath("meru.mer");
        CMeruData start;
        start.m_browser = {"old", "/usr/old"};
        QVERIFY(WriteBytes(path, DataFileBytes(start)));

        Recorder rec;
        if (!chosen.isEmpty()) rec.browserAnswer = chosen;
        auto root = MakeRoot(rec, path);
        CAppRoot& dlg = *root;
        QVERIFY(dlg.Create());
        QVERIFY(dlg.OnCommand(ID_BROWSER));
        QCOMPARE(rec.browserQuestions, 1);
        QCOMPARE(QString::fromStdString(dlg.m_data.m_browser.m_strProgram), program);
        QCOMPARE(QString::fromStdString(dlg.m_data.m_browser.m_strFolder), folder);

        dlg.ExitProgram();
        QCOMPARE(rec.exits, std::vector<int>{0});
        CDataFile file(path.toStdString());
        CMeruData saved;
        file.LoadData(saved, {});
        QCOMPARE(QString::fromStdString(saved.m_browser.m_strProgram), program);
        QCOMPARE(QString::fromStdString(saved.m_browser.m_strFolder), folder);
    }
};

QTEST_MAIN(TestBrowserSetting)
#include "tst_browser_setting.moc"
