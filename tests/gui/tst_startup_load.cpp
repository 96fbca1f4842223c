// Start-up with the data file: every outcome of the load, the locked run, a
// save that fails, the session's end (signals), and the single-instance lock.
#include <QDir>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include <csignal>

#include "gui/kit/dialog_units.h"
#include "gui/main/main_dlg.h"
#include "gui/store/password_dlg.h"
#include "support/when_modal.h"
#include <QScreen>
#include "platform/signal_pipe.h"
#include "platform/single_instance.h"
#include "support/main_fixture.h"
#include "gui/kit/window_tray.h"
#include "gui/tray/system_tray.h"

using namespace meru;
using namespace meru::test;

namespace {

std::string I32(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char((uint32_t(v) >> (8 * i)) & 0xFF);
    return s;
}

CMeruData Protected() {
    CMeruData d;
    d.m_aPages = {"prima pagina", "seconda"};
    d.m_aContacts.push_back({"Anna", "anna@example.org", "", "", "", ""});
    d.m_strPassword = "segreto";
    return d;
}

}  // namespace

class TestStartupLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { CDesktopWindowTray::SetTrayAvailableForTesting(true); }
    void loadOutcomes_data();
    void loadOutcomes();
    void rightPasswordUnlocks();
    void startupPasswordCentred();
    void failedSaveKeepsRunning();
    void failedSaveWaysOut();
    void rescueCopyWhenNobodyAnswers();
    void signalSavesAndEnds();
    void signalPipeDeliversToEventLoop();
    void singleInstance();
    void dialogUnits();
};

void TestStartupLoad::loadOutcomes_data() {
    QTest::addColumn<QByteArray>("content");  // "<dir>": a folder at the data path
    QTest::addColumn<QVariant>("answer");     // start-up password typed; invalid = Cancel
    QTest::addColumn<bool>("continues");      // Create() goes on
    QTest::addColumn<bool>("toolWindows");
    QTest::addColumn<int>("icon");         // QMessageBox::Icon of the one message, or -1
    QTest::addColumn<QString>("message");  // its text, or a part of it
    QTest::addColumn<bool>("saves");       // Exit writes the file

    const std::string bad = std::string("\x03XYZ") + I32(22);
    const std::string v23 = std::string("\x03MER") + I32(23);
    const std::string cut = std::string("\x03MER") + I32(22) +
                            std::string(
                                "\x00\x01\x00\x05"
                                "ab",
                                6);
    const std::string locked = DataFileBytes(Protected());
    const QString readErr =
        QString::fromUtf8(kMsgReadError.data(), qsizetype(kMsgReadError.size()));

    QTest::newRow("no file") << QByteArray() << QVariant() << true << true << -1 << QString()
                             << true;
    QTest::newRow("bad tag") << QByteArray::fromStdString(bad) << QVariant() << false << false
                             << int(QMessageBox::Warning)
                             << QString::fromUtf8("La versione del file non è MER 2.1 o superiore!")
                             << false;
    QTest::newRow("bad version") << QByteArray::fromStdString(v23) << QVariant() << false << false
                                 << int(QMessageBox::Warning) << "Versione non corretta!" << false;
    QTest::newRow("read error") << QByteArray::fromStdString(cut) << QVariant() << true << false
                                << int(QMessageBox::Critical) << readErr << false;
    QTest::newRow("wrong password")
        << QByteArray::fromStdString(locked) << QVariant("segret") << true << true
        << int(QMessageBox::Warning) << "Password Errata!" << false;
    QTest::newRow("cancelled") << QByteArray::fromStdString(locked) << QVariant() << true << true
                               << int(QMessageBox::Warning) << "Password Richiesta!" << false;
    QTest::newRow("cannot open") << QByteArray("<dir>") << QVariant() << true << false
                                 << int(QMessageBox::Warning) << "Is a directory" << false;
}

// Each outcome: the message shown, whether start-up goes on, whether the tool
// windows exist, and whether Exit writes the file (else the file stays as it was).
void TestStartupLoad::loadOutcomes() {
    QFETCH(QByteArray, content);
    QFETCH(QVariant, answer);
    QFETCH(bool, continues);
    QFETCH(bool, toolWindows);
    QFETCH(int, icon);
    QFETCH(QString, message);
    QFETCH(bool, saves);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.mer"));
    if (content == "<dir>") {
        QVERIFY(QDir().mkdir(path));
    } else if (!content.isEmpty()) {
        QVERIFY(WriteBytes(path, content.toStdString()));
    }
    const auto before = ReadBytes(path);

    Recorder rec;
    if (answer.isValid()) rec.startupAnswer = answer.toString().toStdString();
    auto dlg = MakeRoot(rec, path);

    QCOMPARE(dlg->Create(), continues);
    QCOMPARE(dlg->HasToolWindows(), toolWindows);
    if (icon < 0) {
        QVERIFY(rec.messages.empty());
    } else {
        QCOMPARE(rec.messages.size(), size_t(1));
        QCOMPARE(int(rec.messages[0].first), icon);
        QVERIFY2(rec.messages[0].second.contains(message), qPrintable(rec.messages[0].second));
        if (content == "<dir>") QVERIFY(rec.messages[0].second.contains(path));
    }
    QCOMPARE(rec.startupPrompts, content.toStdString() == DataFileBytes(Protected()) ? 1 : 0);
    QCOMPARE(dlg->MaySave(), saves);

    if (!continues) {
        QVERIFY(!dlg->Tray().IsShown());  // the icon goes before the process ends
        QCOMPARE(ReadBytes(path), before);
        return;
    }
    rec.messages.clear();
    if (!toolWindows) {
        // The commands that would show a tool window say why they cannot.
        for (int id : {1031, 32782, 32783, 32784}) {
            dlg->OnCommand(id);
            QCOMPARE(rec.messages.size(), size_t(1));
            QVERIFY(rec.messages.back().second.contains(path));
            rec.messages.clear();
        }
    }
    dlg->ExitProgram();
    QCOMPARE(rec.exits, std::vector<int>{0});
    QVERIFY(rec.messages.empty());
    const auto after = ReadBytes(path);
    if (saves) {
        QVERIFY(after);
        QCOMPARE(after->size(), size_t(271));
    } else {
        QCOMPARE(after, before);
        QCOMPARE(QFileInfo(path).isDir(), content == "<dir>");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestStartupLoad::rightPasswordUnlocks() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.mer"));
    QVERIFY(WriteBytes(path, DataFileBytes(Protected())));
    Recorder rec;
    rec.startupAnswer = "segreto";
    auto dlg = MakeRoot(rec, path);
    QVERIFY(dlg->Create());
    QVERIFY(rec.messages.empty());
    QCOMPARE(dlg->m_data, Protected());  // plain in memory
    dlg->m_data.m_aPages.push_back("terza");
    dlg->ExitProgram();
    CMeruData back;
    QCOMPARE(ReadData(*ReadBytes(path), back, [] { return std::optional<std::string>("segreto"); })
                 .password,
             PasswordState::Accepted);
    QCOMPARE(back.m_aPages.size(), size_t(3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The start-up Password dialog comes before the main window is on the
// screen: it is centred on the screen, not on the hidden window's corner.
void TestStartupLoad::startupPasswordCentred() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.mer"));
    QVERIFY(WriteBytes(path, DataFileBytes(Protected())));
    Recorder rec;
    auto root = MakeRoot(rec, path);  // only for its services
    AppServices s;
    s.showMessage = [](QMessageBox::Icon, const QString&) {};
    s.exitProcess = [](int) {};
    s.launcher = &rec.launcher;
    s.clipboard = &rec.clipboard;
    s.hotkeys = &rec.hotkeys;
    CAppRoot app(QStringLiteral("MERU version 2.2"), path, s);
    QPoint centre;
    QRect avail;
    test::WhenModal<CPasswordDlg>([&](CPasswordDlg* dlg) {
        centre = dlg->frameGeometry().center();
        avail = dlg->screen()->availableGeometry();
        dlg->reject();
    });
    app.Create();
    QVERIFY(!avail.isEmpty());
    // (Within the frame's borders, unknown before the first showing.)
    QVERIFY2((centre - avail.center()).manhattanLength() <= 8,
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A save that fails at Exit is reported with the file and the reason; Cancel
// keeps the program, its windows and its data; a later Exit can still succeed.
void TestStartupLoad::failedSaveKeepsRunning() {
    QTemporaryDir dir;
    const QString sub = dir.filePath(QStringLiteral("later"));
    const QString path = sub + QStringLiteral("/data.mer");  // its folder is missing
    Recorder rec;
    auto dlg = MakeRoot(rec, path);
    QVERIFY(dlg->Create());
    dlg->m_data.m_aPages = {"lavoro di oggi"};
    dlg->ExitProgram();
    QVERIFY(rec.exits.empty());
    QVERIFY(dlg->HasToolWindows());
    QCOMPARE(rec.saveFailedTexts.size(), size_t(1));
    QVERIFY(rec.saveFailedTexts[0].contains(path));
    QVERIFY(rec.saveFailedTexts[0].contains(QStringLiteral("No such file or directory")));
    QCOMPARE(dlg->m_data.m_aPages, std::vector<std::string>{"lavoro di oggi"});

    QVERIFY(QDir().mkdir(sub));
    dlg->ExitProgram();
    QCOMPARE(rec.exits, std::vector<int>{0});
    CMeruData back;
    ReadData(*ReadBytes(path), back, {});
    QCOMPARE(back.m_aPages, std::vector<std::string>{"lavoro di oggi"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The ways out of a failed save at Exit: another file (the data file from
// then on), exiting without saving only after a Yes, asking again after a
// "Save as" that is cancelled or fails too.
void TestStartupLoad::failedSaveWaysOut() {
    using Choice = AppServices::SaveFailedChoice;
    struct Case {
        const char* name;
        std::vector<Choice> answers;
        const char* saveAs;  // relative to the temporary folder; null: Cancel
        bool discard;
        bool ends;
        size_t asked;  // failure boxes shown
    };
    const Case cases[] = {
        {"save as", {Choice::SaveAs}, "elsewhere.mer", false, true, 1},
        {"save as cancelled, then cancel",
         {Choice::SaveAs, Choice::Cancel},
         nullptr,
         false,
         false,
         2},
        {"save as into a missing folder, then cancel",
         {Choice::SaveAs, Choice::Cancel},
         "nowhere/x.mer",
         false,
         false,
         2},
        {"exit without saving, No",
         {Choice::ExitWithoutSaving, Choice::Cancel},
         nullptr,
         false,
         false,
         2},
        {"exit without saving, Yes", {Choice::ExitWithoutSaving}, nullptr, true, true, 1},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("gone/data.mer"));
        Recorder rec;
        rec.saveFailedAnswers = c.answers;
        if (c.saveAs) rec.savePathAnswer = dir.filePath(QString::fromUtf8(c.saveAs));
        rec.discardAnswer = c.discard;
        auto dlg = MakeRoot(rec, path);
        QVERIFY(dlg->Create());
        dlg->m_data.m_aPages = {"lavoro di oggi"};
        dlg->ExitProgram();
        QVERIFY2(rec.saveFailedTexts.size() == c.asked, c.name);
        QVERIFY2(rec.exits == (c.ends ? std::vector<int>{0} : std::vector<int>{}), c.name);
        const bool bDiscardAsked = std::find(c.answers.begin(), c.answers.end(),
                                             Choice::ExitWithoutSaving) != c.answers.end();
        QVERIFY2(rec.discardQuestions.size() == (bDiscardAsked ? 1u : 0u), c.name);
        if (bDiscardAsked) QVERIFY(rec.discardQuestions[0].contains(path));
        if (c.saveAs && c.ends) {
            CMeruData back;
            const auto bytes = ReadBytes(*rec.savePathAnswer);
            QVERIFY2(bytes, c.name);
            ReadData(*bytes, back, {});
            QCOMPARE(back.m_aPages, std::vector<std::string>{"lavoro di oggi"});
            QCOMPARE(dlg->DataPath(), *rec.savePathAnswer);
            QVERIFY(dlg->MainWindow().windowTitle().contains(*rec.savePathAnswer));
        } else {
            QCOMPARE(dlg->DataPath(), path);
        }
        if (c.saveAs && !c.ends) {
            // The second failure is reported and the first file stays the data file.
            QCOMPARE(rec.messages.size(), size_t(1));
            QVERIFY(rec.messages[0].second.contains(*rec.savePathAnswer));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Where no one can answer, a failed save leaves a rescue copy in the state
// folder, in the same format and with the same password, and names it.
void TestStartupLoad::rescueCopyWhenNobodyAnswers() {
    QTemporaryDir dir;
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    Recorder rec;
    auto dlg = MakeRoot(rec, dir.filePath(QStringLiteral("gone/data.mer")));
    QVERIFY(dlg->Create());
    dlg->m_data.m_aPages = {"da salvare"};
    dlg->m_data.m_strPassword = "segreto";
    QCOMPARE(dlg->SaveOrRescue("test"), CAppRoot::Kept::Rescued);
    const QDir folder(dir.filePath(QStringLiteral("state/meru")));
    const QStringList files = folder.entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    CMeruData back;
    const auto out = ReadData(*ReadBytes(folder.filePath(files[0])), back,
                              [] { return std::optional<std::string>("segreto"); });
    QCOMPARE(out.password, PasswordState::Accepted);
    QCOMPARE(back.m_aPages, std::vector<std::string>{"da salvare"});
    if (oldState.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", oldState);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestStartupLoad::signalSavesAndEnds() {
    struct Case {
        const char* name;
        bool locked;
        bool folderMissing;
        int exitCode;
        bool written;
    };
    const Case cases[] = {
        {"saves", false, false, 0, true},
        {"locked run writes nothing", true, false, 0, false},
        {"failed save ends non-zero", false, true, 1, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = c.folderMissing ? dir.filePath(QStringLiteral("no/data.mer"))
                                             : dir.filePath(QStringLiteral("data.mer"));
        if (c.locked) QVERIFY(WriteBytes(path, DataFileBytes(Protected())));
        const auto before = ReadBytes(path);
        Recorder rec;  // the start-up password is cancelled
        auto dlg = MakeRoot(rec, path);
        QVERIFY(dlg->Create());
        dlg->m_data.m_aPages.push_back("dopo");
        // The session saving first (commitDataRequest) changes nothing for a locked run.
        QCOMPARE(dlg->SaveForSessionEnd().status,
                 c.locked ? SaveStatus::NotAllowed
                          : (c.folderMissing ? SaveStatus::Failed : SaveStatus::Saved));
        dlg->OnTerminationSignal(SIGTERM);
        QVERIFY2(rec.exits == std::vector<int>{c.exitCode}, c.name);
        QVERIFY(dlg->HasEnded());
        const auto after = ReadBytes(path);
        if (c.written) {
            CMeruData back;
            ReadData(*after, back, {});
            QCOMPARE(back.m_aPages.back(), std::string("dopo"));
        } else {
            QVERIFY2(after == before, c.name);
        }
    }
}

void TestStartupLoad::signalPipeDeliversToEventLoop() {
    QVERIFY(CSignalPipe::Install({SIGHUP, SIGUSR1}));
    QSocketNotifier notifier(CSignalPipe::ReadFd(), QSocketNotifier::Read);
    std::vector<int> seen;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        if (int sig = CSignalPipe::Take()) seen.push_back(sig);
    });
    ::raise(SIGUSR1);
    ::raise(SIGHUP);
    QTRY_COMPARE(seen.size(), size_t(2));
    QCOMPARE(seen, (std::vector<int>{SIGUSR1, SIGHUP}));
    QCOMPARE(CSignalPipe::Take(), 0);
}

void TestStartupLoad::singleInstance() {
    QTemporaryDir dir;  // private to this user, as $XDG_RUNTIME_DIR is
    const unsigned me = static_cast<unsigned>(::getuid());
    const std::string lock =
        CSingleInstance::LockPath(dir.path().toLocal8Bit().constData(), ":7", me);
    QCOMPARE(QString::fromStdString(lock), dir.path() + "/MERU_BY_TESSALUNDE_2314-:7.lock");
    // Without a private runtime folder: a private folder of the user's own
    // in /tmp (or $TMPDIR).
    QCOMPARE(CSingleInstance::LockPath(nullptr, ":0", 1000),
             std::string("/tmp/MERU_BY_TESSALUNDE_2314-1000/MERU_BY_TESSALUNDE_2314-:0.lock"));
    QCOMPARE(
        CSingleInstance::LockPath("/does/not/exist", "host/unix:1", 5, "/var/tmp"),
        std::string("/var/tmp/MERU_BY_TESSALUNDE_2314-5/MERU_BY_TESSALUNDE_2314-host_unix:1.lock"));
    QCOMPARE(CSingleInstance::LockPath(dir.path().toLocal8Bit().constData(), ":0", me + 1),
             "/tmp/MERU_BY_TESSALUNDE_2314-" + std::to_string(me + 1) +
                 "/MERU_BY_TESSALUNDE_2314-:0.lock");
    // (somebody else's runtime folder is never used)
    QVERIFY(CSingleInstance::LockPath(dir.path().toLocal8Bit().constData(), ":0", me) !=
            CSingleInstance::LockPath(dir.path().toLocal8Bit().constData(), ":1", me));
    // One display however $DISPLAY writes it.
    const std::pair<const char*, const char*> keys[] = {
        {":160", ":160"},       {":160.0", ":160"},     {"unix:160", ":160"},
        {"unix:160.2", ":160"}, {"host:3.0", "host:3"}, {"localhost:10.0", "localhost:10"},
        {nullptr, "nodisplay"}, {"", "nodisplay"},
    };
    for (const auto& [display, key] : keys)
        QCOMPARE(CSingleInstance::DisplayKey(display), std::string(key));
    {
        CSingleInstance first;
        QCOMPARE(first.Acquire(lock), CSingleInstance::Result::Acquired);
        CSingleInstance second;
        QCOMPARE(second.Acquire(lock), CSingleInstance::Result::Running);
    }
    CSingleInstance again;  // the first copy ended: the lock is free
    QCOMPARE(again.Acquire(lock), CSingleInstance::Result::Acquired);

    // A planted link is not followed.
    const QString link = dir.filePath(QStringLiteral("link.lock"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("target")), link));
    CSingleInstance viaLink;
    QCOMPARE(viaLink.Acquire(link.toStdString()), CSingleInstance::Result::Error);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("target"))));
}

void TestStartupLoad::dialogUnits() {
    // The classic 8-point dialog font: base units 6 x 13.
    const CDialogUnits du(6, 13);
    QCOMPARE(du.Rect(7, 27, 57, 51), QRect(10, 43, 85, 82));
    QCOMPARE(du.Size(272, 85), QSize(408, 138));
    // From a real font: the height is the font's, the width the rounded average letter.
    const QFont font = CDialogUnits::TemplateFont("MS Sans Serif", 8);
    const CDialogUnits real(font);
    const QFontMetrics fm(font);
    QCOMPARE(real.BaseY(), fm.height());
    const double avg = fm.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                       52.0;
    QVERIFY(qAbs(real.BaseX() - avg) <= 0.5);
    // A bigger font gives bigger windows.
    const CDialogUnits big(CDialogUnits::TemplateFont("System", 16));
    QVERIFY(big.X(100) > real.X(100));
    QVERIFY(big.Y(100) > real.Y(100));
}

QTEST_MAIN(TestStartupLoad)
#include "tst_startup_load.moc"
