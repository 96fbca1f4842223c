// The Wayland data-control clipboard's pieces that need no compositor: which
// text type is read from an offer, how an offer is read (password hint first,
// size guard, time-out) and how our own texts are written into a reader's pipe.
// The whole path against sway is in tests/e2e/test_wayland_sway.py.
#include <QCoreApplication>
#include <QtTest>
#include <map>
#include <thread>

#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/wayland_data_control.h"

using namespace meru;

namespace {

using Strings = std::vector<std::string>;

Strings Split(const QString& s) {
    Strings out;
    for (const QString& p : s.split('|', Qt::SkipEmptyParts)) out.push_back(p.toStdString());
    return out;
}

// A source program behind an offer: what it sends for each type, which types
// were asked for, and whether it answers at all.
struct FakeSource {
    std::map<std::string, std::string> data;
    Strings asked;
    bool bStall = false;  // keeps the pipe open and sends nothing
    std::vector<int> stalled;
    std::vector<std::thread> writers;

    ~FakeSource() {
        for (auto& t : writers) t.join();
        for (int fd : stalled) close(fd);
    }
    COfferReader::Receive Receiver() {
        return [this](const std::string& mime) {
            asked.push_back(mime);
            int fds[2];
            if (pipe2(fds, O_CLOEXEC) != 0) return -1;
            if (bStall) {
                stalled.push_back(fds[1]);
                return fds[0];
            }
            // A writer of its own, as the real source is another program: a
            // text longer than the pipe's buffer needs the reader going.
            writers.emplace_back([fd = fds[1], text = data[mime]] {
                // A reader that gives up must not end the test through SIGPIPE.
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, SIGPIPE);
                pthread_sigmask(SIG_BLOCK, &set, nullptr);
                size_t off = 0;
                while (off < text.size()) {
                    const ssize_t n = write(fd, text.data() + off, text.size() - off);
                    if (n <= 0) break;  // the reader gave up
                    off += size_t(n);
                }
                close(fd);
            });
            return fds[0];
        };
    }
};

struct Outcome {
    bool bDone = false;
    COfferReader::Result result;
};

std::unique_ptr<COfferReader> StartReader(const Strings& formats, FakeSource& src, Outcome& out,
                                          COfferReader::Limits limits = {}) {
    auto r = std::make_unique<COfferReader>(formats, src.Receiver(), limits,
                                            [&out](const COfferReader::Result& res) {
                                                out.bDone = true;
                                                out.result = res;
                                            });
    r->Start();
    return r;
}

// Reads what is in the pipe now; true at end of file.
bool Drain(int fd, std::string& got) {
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, size_t(n));
            continue;
        }
        return n == 0;
    }
}

std::string BigText(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
    return s;
}

}  // namespace

class TestWaylandClipboard : public QObject {
    Q_OBJECT

private slots:
    void textTypeChoice_data() {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("GTK") << "text/plain;charset=utf-8|UTF8_STRING|TEXT|STRING"
                             << "text/plain;charset=utf-8";
        QTest::newRow("charset spelt otherwise") << "TEXT|text/plain; charset=UTF-8"
                                                 << "text/plain; charset=UTF-8";
        QTest::newRow("X11 program via XWayland") << "TARGETS|STRING|UTF8_STRING"
                                                  << "UTF8_STRING";
        QTest::newRow("plain before legacy") << "text/html|STRING|text/plain"
                                             << "text/plain";
        QTest::newRow("another charset is not UTF-8") << "text/plain;charset=iso-8859-1|TEXT"
                                                      << "TEXT";
        QTest::newRow("Latin-1 only") << "STRING"
                                      << "STRING";
        QTest::newRow("picture") << "image/png|x-kde-passwordManagerHint"
                                 << "";
        QTest::newRow("nothing") << ""
                                 << "";
    }
    void textTypeChoice() {
        QFETCH(QString, offered);
        QFETCH(QString, chosen);
        QCOMPARE(QString::fromStdString(ChooseTextType(Split(offered))), chosen);
    }

    // STRING is Latin-1 both ways; the UTF-8 types pass unchanged.
    void latin1ForString_data() {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<QByteArray>("latin1");
        QTest::newRow("ascii") << QByteArray("plain\r\n") << QByteArray("plain\r\n");
        QTest::newRow("accents") << QByteArray("caff\xC3\xA8 \xC2\xA3")
                                 << QByteArray("caff\xE8 \xA3");
        QTest::newRow("beyond Latin-1") << QByteArray(
                                               "\xE2\x82\xAC"
                                               "1 \xF0\x9F\x98\x80")
                                        << QByteArray("?1 ?");
        QTest::newRow("broken sequence") << QByteArray("a\xC3") << QByteArray("a?");
    }
    void latin1ForString() {
        QFETCH(QByteArray, utf8);
        QFETCH(QByteArray, latin1);
        QCOMPARE(QByteArray::fromStdString(TextForType("STRING", utf8.toStdString())), latin1);
        QCOMPARE(QByteArray::fromStdString(TextForType("UTF8_STRING", utf8.toStdString())), utf8);
        if (!latin1.contains('?'))
            QCOMPARE(QByteArray::fromStdString(TextFromOffer("STRING", latin1.toStdString())),
                     utf8);
    }

    // An offer read through to its end: the hint decides whether the text is
    // asked for at all.
    void offerRead_data() {
        QTest::addColumn<QString>("formats");
        QTest::addColumn<QByteArray>("hint");
        QTest::addColumn<QByteArray>("sent");  // what the source sends as text
        QTest::addColumn<QByteArray>("text");  // what the history gets
        QTest::addColumn<bool>("secret");
        QTest::addColumn<QString>("asked");
        const QString utf8 = "text/plain;charset=utf-8";
        QTest::newRow("plain") << utf8 + "|UTF8_STRING" << QByteArray() << QByteArray("alpha")
                               << QByteArray("alpha") << false << utf8;
        QTest::newRow("exact bytes")
            << utf8 << QByteArray() << QByteArray("a\r\nb\n\xE2\x82\xAC\t ")
            << QByteArray("a\r\nb\n\xE2\x82\xAC\t ") << false << utf8;
        QTest::newRow("secret: the text is never asked for")
            << utf8 + "|x-kde-passwordManagerHint" << QByteArray("secret") << QByteArray("pw")
            << QByteArray() << true << "x-kde-passwordManagerHint";
        QTest::newRow("secret as a C string")
            << "x-kde-passwordManagerHint|UTF8_STRING" << QByteArray("secret\0", 7)
            << QByteArray("pw") << QByteArray() << true << "x-kde-passwordManagerHint";
        QTest::newRow("hint other than secret")
            << "UTF8_STRING|x-kde-passwordManagerHint" << QByteArray("public") << QByteArray("beta")
            << QByteArray("beta") << false << "x-kde-passwordManagerHint|UTF8_STRING";
        QTest::newRow("Latin-1 made UTF-8") << "STRING" << QByteArray() << QByteArray("caff\xE8")
                                            << QByteArray("caff\xC3\xA8") << false << "STRING";
        QTest::newRow("picture: nothing asked")
            << "image/png" << QByteArray() << QByteArray() << QByteArray() << false << "";
        QTest::newRow("empty text")
            << utf8 << QByteArray() << QByteArray() << QByteArray() << false << utf8;
    }
    void offerRead() {
        QFETCH(QString, formats);
        QFETCH(QByteArray, hint);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, text);
        QFETCH(bool, secret);
        QFETCH(QString, asked);
        const Strings types = Split(formats);
        FakeSource src;
        src.data[kPasswordHintType] = hint.toStdString();
        const std::string textType = ChooseTextType(types);
        if (!textType.empty()) src.data[textType] = sent.toStdString();
        Outcome out;
        auto reader = StartReader(types, src, out);
        QTRY_VERIFY_WITH_TIMEOUT(out.bDone, 5000);
        QVERIFY(out.result.bComplete);
        QCOMPARE(QByteArray::fromStdString(out.result.text), text);
        QCOMPARE(out.result.bSecret, secret);
        QVERIFY(out.result.formats == types);
        QVERIFY(src.asked == Split(asked));
    }

    void textBeyondTheLimitIsDropped() {
        FakeSource src;
        src.data["UTF8_STRING"] = BigText(300000);
        Outcome out;
        auto reader = StartReader({"UTF8_STRING"}, src, out, {100000, 5000});
        QTRY_VERIFY_WITH_TIMEOUT(out.bDone, 5000);
        QVERIFY(!out.result.bComplete);
        QVERIFY(out.result.text.empty());
    }

    void textLongerThanAPipeArrivesWhole() {
        FakeSource src;
        const std::string big = BigText(3 << 20);
        src.data["text/plain"] = big;
        Outcome out;
        auto reader = StartReader({"text/plain"}, src, out);
        QTRY_VERIFY_WITH_TIMEOUT(out.bDone, 10000);
        QVERIFY(out.result.bComplete);
        QVERIFY(out.result.text == big);
    }

    void silentSourceTimesOut() {
        FakeSource src;
        src.bStall = true;
        Outcome out;
        QElapsedTimer t;
        t.start();
        auto reader = StartReader({"UTF8_STRING"}, src, out, {1000, 200});
        QTRY_VERIFY_WITH_TIMEOUT(out.bDone, 5000);
        QVERIFY(!out.result.bComplete);
        QVERIFY(t.elapsed() >= 150);
    }

    // At start-up the reader is waited for in place, before the event loop.
    void startupWaitIsBounded() {
        FakeSource ok;
        ok.data["UTF8_STRING"] = "gamma";
        Outcome a;
        auto ra = StartReader({"UTF8_STRING"}, ok, a);
        QVERIFY(ra->Wait(5000));
        QVERIFY(a.bDone && a.result.bComplete);
        QCOMPARE(a.result.text, std::string("gamma"));

        FakeSource silent;
        silent.bStall = true;
        Outcome b;
        auto rb = StartReader({"UTF8_STRING"}, silent, b, {1000, 60000});
        QElapsedTimer t;
        t.start();
        QVERIFY(rb->Wait(200));
        QVERIFY(t.elapsed() < 5000);
        QVERIFY(b.bDone && !b.result.bComplete);
    }

    // The choice at start-up where no compositor with data-control answers:
    // Qt's clipboard, and a line saying why only in a Wayland session.
    void choiceWithoutDataControl_data() {
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("forced");
        QTest::addColumn<QString>("note");  // "" = no line
        QTest::newRow("X11 session") << QByteArray() << QByteArray() << "";
        QTest::newRow("empty WAYLAND_DISPLAY") << QByteArray("") << QByteArray() << "";
        QTest::newRow("compositor gone")
            << QByteArray("wayland-meru-none") << QByteArray() << "cannot be reached";
        QTest::newRow("chosen by the user")
            << QByteArray("wayland-meru-none") << QByteArray("x11") << "MERU_CLIPBOARD=x11";
    }
    void choiceWithoutDataControl() {
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, forced);
        QFETCH(QString, note);
        const QByteArray oldWd = qgetenv("WAYLAND_DISPLAY"), oldForced = qgetenv("MERU_CLIPBOARD");
        const bool bHadWd = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
        const bool bHadForced = qEnvironmentVariableIsSet("MERU_CLIPBOARD");
        auto restore = qScopeGuard([&] {
            if (bHadWd)
                qputenv("WAYLAND_DISPLAY", oldWd);
            else
                qunsetenv("WAYLAND_DISPLAY");
            if (bHadForced)
                qputenv("MERU_CLIPBOARD", oldForced);
            else
                qunsetenv("MERU_CLIPBOARD");
        });
        if (waylandDisplay.isNull())
            qunsetenv("WAYLAND_DISPLAY");
        else
            qputenv("WAYLAND_DISPLAY", waylandDisplay);
        if (forced.isNull())
            qunsetenv("MERU_CLIPBOARD");
        else
            qputenv("MERU_CLIPBOARD", forced);
        std::string line = "unchanged";
        std::unique_ptr<IClipboard> clip = CreateDesktopClipboard(&line);
        QVERIFY(clip);
        QVERIFY(!dynamic_cast<CWaylandDataControlClipboard*>(clip.get()));
        if (note.isEmpty()) {
            QCOMPARE(line, std::string("unchanged"));
        } else {
            QVERIFY2(QString::fromStdString(line).startsWith("clipboard: "), line.c_str());
            QVERIFY2(QString::fromStdString(line).contains(note), line.c_str());
        }
    }

    // Our text written into a pipe far smaller than it, with the reader in
    // the same thread: a blocking write would hang here.
    void writerDoesNotBlock() {
        int fds[2];
        QCOMPARE(pipe2(fds, O_CLOEXEC), 0);
        const auto text = std::make_shared<const std::string>(BigText(4 << 20));
        bool bDone = false, bComplete = false;
        new CPipeWriter(fds[1], text, 10000, [&](bool b) {
            bDone = true;
            bComplete = b;
        });
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string got;
        QTRY_VERIFY_WITH_TIMEOUT(Drain(fds[0], got), 10000);
        close(fds[0]);
        QVERIFY(bDone && bComplete);
        QVERIFY(got == *text);
    }

    // A reader that closes its end half-way ends the transfer, not MERU.
    void readerGoingAwayEndsTheWrite() {
        int fds[2];
        QCOMPARE(pipe2(fds, O_CLOEXEC), 0);
        bool bDone = false, bComplete = true;
        new CPipeWriter(fds[1], std::make_shared<const std::string>(BigText(1 << 20)), 10000,
                        [&](bool b) {
                            bDone = true;
                            bComplete = b;
                        });
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        char buf[100];
        QTRY_VERIFY_WITH_TIMEOUT(read(fds[0], buf, sizeof buf) > 0, 5000);
        close(fds[0]);
        QTRY_VERIFY_WITH_TIMEOUT(bDone, 5000);
        QVERIFY(!bComplete);
    }
};

QTEST_MAIN(TestWaylandClipboard)
#include "tst_wayland_clipboard.moc"
