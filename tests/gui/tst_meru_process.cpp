// The real `meru` program as a process (offscreen): one copy per user and
// display, and the session's end signals saving like Exit.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

namespace {

QString MeruBinary() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/app/meru"));
}

struct Session {
    QTemporaryDir dir;
    QString runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    explicit Session(const QString& display) {
        runtime = dir.filePath(QStringLiteral("rt"));
        QDir().mkdir(runtime);
        ::chmod(runtime.toLocal8Bit().constData(), 0700);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=false"));
    }
    QString LockFile(const QString& display) const {
        return runtime + QStringLiteral("/MERU_BY_TESSALUNDE_2314-") + display +
               QStringLiteral(".lock");
    }
    std::unique_ptr<QProcess> Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(dir.path());
        p->start(MeruBinary(), args);
        return p;
    }
};

}  // namespace

class TestMeruProcess : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (!QFile::exists(MeruBinary())) QSKIP("the meru program is not built in this tree");
    }
    void secondCopyEndsAtOnce();
    void oneDisplayHoweverItIsWritten();
    void signalSavesLikeExit_data();
    void signalSavesLikeExit();
};

void TestMeruProcess::secondCopyEndsAtOnce() {
    Session s(QStringLiteral(":4711"));
    auto first = s.Start({QStringLiteral("first.mer")});
    QVERIFY(first->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.LockFile(QStringLiteral(":4711"))), 10000);

    auto second = s.Start({QStringLiteral("-Automation"), QStringLiteral("second.mer")});
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(!QFile::exists(s.dir.filePath(QStringLiteral("second.mer"))));
    QCOMPARE(first->state(), QProcess::Running);

    // Another display is another desktop: its copy runs.
    Session other(QStringLiteral(":4712"));
    other.env.insert(QStringLiteral("XDG_RUNTIME_DIR"), s.runtime);
    auto third = other.Start({s.dir.filePath(QStringLiteral("third.mer"))});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.LockFile(QStringLiteral(":4712"))), 10000);
    QTest::qWait(200);
    QCOMPARE(third->state(), QProcess::Running);

    for (QProcess* p : {first.get(), third.get()}) {
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitCode(), 0);
    }
    QVERIFY(!QFile::exists(s.dir.filePath(QStringLiteral("second.mer"))));
}

// ":4714", ":4714.0" and "unix:4714" name one display: one copy.
void TestMeruProcess::oneDisplayHoweverItIsWritten() {
    Session s(QStringLiteral(":4714.0"));
    auto first = s.Start({QStringLiteral("first.mer")});
    QVERIFY(first->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.LockFile(QStringLiteral(":4714"))), 10000);
    for (const QString& display :
         {QStringLiteral(":4714"), QStringLiteral("unix:4714"), QStringLiteral("unix:4714.1")}) {
        s.env.insert(QStringLiteral("DISPLAY"), display);
        auto second = s.Start({QStringLiteral("second.mer")});
        QVERIFY2(second->waitForFinished(5000), qPrintable(display));
        QCOMPARE(second->exitCode(), 0);
    }
    QCOMPARE(QDir(s.runtime).entryList(QDir::Files),
             QStringList{QStringLiteral("MERU_BY_TESSALUNDE_2314-:4714.lock")});
    QVERIFY(!QFile::exists(s.dir.filePath(QStringLiteral("second.mer"))));
    QCOMPARE(first->state(), QProcess::Running);
    ::kill(pid_t(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitCode(), 0);
}

void TestMeruProcess::signalSavesLikeExit_data() {
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// A first start with no file, ended by the signal: the default file appears.
void TestMeruProcess::signalSavesLikeExit() {
    QFETCH(int, sig);
    Session s(QStringLiteral(":4713"));
    auto p = s.Start({});  // default: meru.mer in the current directory
    QVERIFY(p->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.LockFile(QStringLiteral(":4713"))), 10000);
    ::kill(pid_t(p->processId()), sig);
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    QFile f(s.dir.filePath(QStringLiteral("meru.mer")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 271);
    QVERIFY(bytes.startsWith(QByteArray("\x03MER\x16\x00\x00\x00", 8)));
}

QTEST_MAIN(TestMeruProcess)
#include "tst_meru_process.moc"
