// The command channel between "meru --select/--show/--exit" and the running
// copy (socket, request parsing, answers), and the choice of the Qt platform
// in a Wayland session.
#include <QCoreApplication>
#include <QtTest>

#include <cstdio>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/command_channel.h"
#include "platform/session_platform.h"

using namespace meru;

namespace {

// Runs SendCommand on another thread (it blocks) while this one serves.
struct Sent {
    int code = -1;
    std::string err;
};
std::future<Sent> SendAsync(const std::string& lockPath, const std::string& line,
                            int timeoutMs = 5000) {
    return std::async(std::launch::async, [=] {
        char* buf = nullptr;
        size_t len = 0;
        std::FILE* f = open_memstream(&buf, &len);
        Sent s;
        s.code = SendCommand(lockPath, line, f, timeoutMs, timeoutMs);
        std::fclose(f);
        s.err.assign(buf, len);
        free(buf);
        return s;
    });
}

// Serves events until the sender has its result; false after 10 s.
bool Serve(std::future<Sent>& f, Sent* out) {
    QDeadlineTimer deadline(10000);
    while (f.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
    *out = f.get();
    return true;
}

}  // namespace

class TstCommandChannel : public QObject {
    Q_OBJECT
private slots:
    void parseSwitches_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("error");
        QTest::newRow("none") << QStringList{"file.mer"} << "" << false;
        QTest::newRow("select") << QStringList{"--select", "3"} << "select 3" << false;
        QTest::newRow("select 0") << QStringList{"--select", "0"} << "" << true;
        QTest::newRow("select 12") << QStringList{"--select", "12"} << "" << true;
        QTest::newRow("select missing") << QStringList{"--select"} << "" << true;
        QTest::newRow("show") << QStringList{"--show", "contacts"} << "show contacts" << false;
        QTest::newRow("show bad") << QStringList{"--show", "Notes"} << "" << true;
        QTest::newRow("exit") << QStringList{"-Embedding", "--exit"} << "exit" << false;
        QTest::newRow("two") << QStringList{"--exit", "--select", "1"} << "" << true;
        QTest::newRow("two, second bad") << QStringList{"--exit", "--show", "x"} << "" << true;
    }
    void parseSwitches() {
        QFETCH(QStringList, args);
        QFETCH(QString, line);
        QFETCH(bool, error);
        std::vector<std::string> store{"meru"};
        for (const QString& a : args) store.push_back(a.toStdString());
        std::vector<const char*> argv;
        for (const auto& s : store) argv.push_back(s.c_str());
        const ParsedCommand p = ParseCommandSwitches(int(argv.size()), argv.data());
        QCOMPARE(p.bPresent, error || !line.isEmpty());
        QCOMPARE(!p.strError.empty(), error);
        if (!error) QCOMPARE(QString::fromStdString(p.strLine), line);
    }

    void platformChoice_data() {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<bool>("setXcb");
        QTest::addColumn<bool>("onXcb");
        QTest::addColumn<bool>("note");
        QTest::newRow("X11, unset")
            << QByteArray() << QByteArray() << QByteArray("x11") << true << true << false;
        QTest::newRow("Wayland, unset")
            << QByteArray() << QByteArray("wayland-0") << QByteArray() << true << true << true;
        QTest::newRow("session type only")
            << QByteArray() << QByteArray() << QByteArray("wayland") << true << true << true;
        QTest::newRow("user wayland") << QByteArray("wayland") << QByteArray("wayland-0")
                                      << QByteArray("wayland") << false << false << true;
        QTest::newRow("user xcb;wayland") << QByteArray("xcb;wayland") << QByteArray("wayland-0")
                                          << QByteArray() << false << true << true;
        QTest::newRow("user xcbx")
            << QByteArray("xcbx") << QByteArray() << QByteArray() << false << false << false;
    }
    void platformChoice() {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, session);
        QFETCH(bool, setXcb);
        QFETCH(bool, onXcb);
        QFETCH(bool, note);
        auto z = [](const QByteArray& b) { return b.isNull() ? nullptr : b.constData(); };
        const PlatformChoice c = ChoosePlatform(z(qpa), z(wayland), z(session));
        QCOMPARE(c.bSetXcb, setXcb);
        QCOMPARE(c.bOnXcb, onXcb);
        QCOMPARE(!PlatformNote(c).empty(), note);
    }

    // A request reaches the handler, its answer the sender; a stale socket
    // left by an ended copy is replaced; a missing copy is told clearly.
    void roundTrip() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QVERIFY(::chmod(tmp.path().toLocal8Bit().constData(), 0700) == 0);
        const std::string lock = tmp.path().toStdString() + "/M-:1.lock";
        const std::string sockPath = CommandSocketPath(lock);
        QCOMPARE(QString::fromStdString(sockPath), tmp.path() + "/M-:1.sock");

        auto none = SendAsync(lock, "select 1");
        Sent s;
        QVERIFY(Serve(none, &s));
        QCOMPARE(s.code, 1);
        QVERIFY2(s.err.find("no copy of MERU is running") != std::string::npos, s.err.c_str());

        {  // a socket nobody listens on any more
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            std::snprintf(a.sun_path, sizeof a.sun_path, "%s", sockPath.c_str());
            QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
            ::close(fd);
        }
        std::vector<std::string> got;
        CCommandServer server([&got](const std::string& line) {
            got.push_back(line);
            return line == "select 2" ? std::string("ok") : std::string("error: no such thing");
        });
        std::string why;
        QVERIFY2(server.Listen(sockPath, &why), why.c_str());
        struct stat st {};
        QVERIFY(::stat(sockPath.c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0600u);

        auto ok = SendAsync(lock, "select 2");
        QVERIFY(Serve(ok, &s));
        QCOMPARE(s.code, 0);
        QCOMPARE(s.err, std::string());
        auto refused = SendAsync(lock, "show x");
        QVERIFY(Serve(refused, &s));
        QCOMPARE(s.code, 1);
        QCOMPARE(s.err, std::string("meru: error: no such thing\n"));
        // an endless request is dropped unanswered, never handed on
        auto flood = SendAsync(lock, std::string(4000, 'x'), 2000);
        QVERIFY(Serve(flood, &s));
        QCOMPARE(s.code, 1);
        QCOMPARE(got, (std::vector<std::string>{"select 2", "show x"}));
    }

    // Something that is not a socket in the socket's place is left alone.
    void foreignFileKept() {
        QTemporaryDir tmp;
        QVERIFY(::chmod(tmp.path().toLocal8Bit().constData(), 0700) == 0);
        const std::string sockPath = tmp.path().toStdString() + "/M-:1.sock";
        QFile f(QString::fromStdString(sockPath));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        CCommandServer server([](const std::string&) { return std::string("ok"); });
        std::string why;
        QVERIFY(!server.Listen(sockPath, &why));
        QVERIFY(!why.empty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TstCommandChannel)
#include "tst_command_channel.moc"
