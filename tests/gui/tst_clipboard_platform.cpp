// The clipboard interface (Qt implementation on the offscreen platform and the
// fake), the link between the history and the clipboard, and the global
// shortcuts' off-X11 behaviour.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QtTest>

#include "core/clipboard/clip_history.h"
#include "platform/clipboard.h"
#include "platform/x11_hotkeys.h"
#include "gui/clipboard/clip_link.h"
#include "support/fakes.h"

using namespace meru;

namespace {

using Strings = std::vector<std::string>;

bool Has(const Strings& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Another program's copy, as Qt would receive it.
void ForeignCopy(const QString& text, const QList<QPair<QString, QByteArray>>& extra = {}) {
    auto* md = new QMimeData;
    md->setText(text);
    for (const auto& [fmt, data] : extra) md->setData(fmt, data);
    QGuiApplication::clipboard()->setMimeData(md, QClipboard::Clipboard);
}

}  // namespace

class TestClipboardPlatform : public QObject {
    Q_OBJECT

private slots:
    void init() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

    // ---------------------------------------------------------- CQtClipboard

    void qtTextComesBackExactly_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QString("plain");
        QTest::newRow("cp1252") << QString::fromUtf8("\xE2\x82\xAC caff\xC3\xA8");
        QTest::newRow("cjk") << QString::fromUtf8("\xE6\xBC\xA2\xE5\xAD\x97 \xED\x95\x9C");
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x91\x8D");
        QTest::newRow("rtl+combining") << QString::fromUtf8("\xD7\xA9\xD7\x9C e\xCC\x81");
        QTest::newRow("line breaks") << QString("a\r\nb\nc\rd\t");
    }
    void qtTextComesBackExactly() {
        QFETCH(QString, text);
        CQtClipboard clip;
        const QByteArray utf8 = text.toUtf8();
        const std::string s(utf8.constData(), static_cast<size_t>(utf8.size()));
        clip.SetText(s);
        QCOMPARE(clip.Text(), s);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        // And a foreign copy of it is read byte for byte.
        ForeignCopy(text);
        QCOMPARE(clip.Text(), s);
    }

    void qtChangeNotificationAndState() {
        CQtClipboard clip;
        int changes = 0;
        clip.SetChangedCallback([&] { ++changes; });
        QVERIFY(clip.IsEmpty());
        clip.SetText("x");
        QCOMPARE(changes, 1);  // synchronously, inside the write
        QVERIFY(!clip.IsEmpty());
        QVERIFY(Has(clip.Formats(), "text/plain"));
        ForeignCopy("y", {{"text/uri-list", "file:///tmp/y\r\n"}});
        QCOMPARE(changes, 2);
        QVERIFY(Has(clip.Formats(), "text/uri-list"));
        QCOMPARE(clip.Text(), std::string("y"));
        clip.Clear();
        QCOMPARE(changes, 3);
        QVERIFY(clip.IsEmpty());
        QCOMPARE(clip.Text(), std::string());
        // A picture: formats but no text.
        auto* md = new QMimeData;
        md->setData("image/png", QByteArray("\x89PNG", 4));
        QGuiApplication::clipboard()->setMimeData(md);
        QVERIFY(!clip.IsEmpty());
        QCOMPARE(clip.Text(), std::string());
        clip.SetChangedCallback({});
        clip.SetText("z");
        QCOMPARE(changes, 4);
    }

    void qtSecretHint_data() {
        QTest::addColumn<QByteArray>("hint");
        QTest::addColumn<bool>("secret");
        QTest::newRow("secret") << QByteArray("secret") << true;
        QTest::newRow("C string") << QByteArray("secret\0", 7) << true;
        QTest::newRow("other value") << QByteArray("public") << false;
        QTest::newRow("no hint") << QByteArray() << false;
    }
    void qtSecretHint() {
        QFETCH(QByteArray, hint);
        QFETCH(bool, secret);
        CQtClipboard clip;
        if (hint.isNull())
            ForeignCopy("pw");
        else
            ForeignCopy("pw", {{"x-kde-passwordManagerHint", hint}});
        QCOMPARE(clip.IsSecret(), secret);
    }

    // A rich copy through the real Qt clipboard is captured without being
    // flattened to plain text, and a secret one is not captured.
    void qtLinkKeepsFormatsAndSkipsSecrets() {
        CQtClipboard clip;
        CClipHistory history;
        CClipboardLink link(clip, history);
        QVERIFY(!link.Seed());
        link.Start();
        ForeignCopy("/tmp/file.txt", {{"text/uri-list", "file:///tmp/file.txt\r\n"}});
        QCOMPARE(history.History(), (Strings{"/tmp/file.txt"}));
        QVERIFY(Has(clip.Formats(), "text/uri-list"));
        ForeignCopy("hunter2", {{"x-kde-passwordManagerHint", "secret"}});
        QCOMPARE(link.LastCapture(), CaptureResult::Secret);
        QCOMPARE(history.Count(), 1);
        // Ctrl+1 puts entry 1 back as plain text; our own write is not captured.
        link.Apply(*history.SelectClip(1));
        QCOMPARE(link.LastCapture(), CaptureResult::Publishing);
        QCOMPARE(clip.Text(), std::string("/tmp/file.txt"));
        QCOMPARE(history.Count(), 1);
    }

    // ---------------------------------------------------------- link + fake

    void linkCaptureAndOwnWrites() {
        CFakeClipboard clip;
        CClipHistory history;
        CClipboardLink link(clip, history);
        std::vector<ClipPublication> shown;
        QObject::connect(&link, &CClipboardLink::published,
                         [&](const ClipPublication& p) { shown.push_back(p); });
        link.Seed();
        link.Apply(history.PublishClip());
        QCOMPARE(clip.m_nClear, 0);  // nothing of ours to empty at start
        link.Start();

        clip.Copy("one", {"text/html"});
        clip.Copy("two");
        QCOMPARE(history.History(), (Strings{"one", "two"}));
        QCOMPARE(clip.m_nSetText, 0);  // captures do not rewrite the clipboard
        QVERIFY(Has(clip.Formats(), "text/plain"));
        QCOMPARE(shown.size(), size_t(3));
        QCOMPARE(shown.back().nCur, 1);
        QCOMPARE(shown.back().nTrayIcon, 190);

        // Copy of an existing entry: nothing shown, nothing written.
        clip.Copy("one");
        QCOMPARE(link.LastCapture(), CaptureResult::Duplicate);
        QCOMPARE(history.Current(), 1);
        QCOMPARE(shown.size(), size_t(3));

        // Selecting entry 2 writes it once; the write is not captured.
        link.Apply(*history.SelectClip(2));
        QCOMPARE(clip.m_nSetText, 1);
        QCOMPARE(clip.Text(), std::string("two"));
        QCOMPARE(link.LastCapture(), CaptureResult::Publishing);
        QVERIFY(!link.IsPublishing());
        link.Apply(*history.SelectClip(2));  // key still held
        QCOMPARE(clip.m_nSetText, 1);

        // A picture copy changes nothing.
        clip.CopyPicture();
        QCOMPARE(link.LastCapture(), CaptureResult::Empty);
        QCOMPARE(history.Count(), 2);

        // Clear all empties the clipboard only when it holds one of ours.
        link.Apply(history.ClearAll());
        QCOMPARE(clip.m_nClear, 0);  // the picture stays
        clip.Copy("three");
        link.Apply(history.ClearAll());
        QCOMPARE(clip.m_nClear, 1);
        QVERIFY(clip.IsEmpty());
        QVERIFY(history.IsEmpty());  // our own clear did not trigger a restore

        link.Stop();
        clip.Copy("after stop");
        QVERIFY(history.IsEmpty());
    }

    void linkRestoresAfterOwnerWentAway() {
        CFakeClipboard clip;
        CClipHistory history;
        CClipboardLink link(clip, history);
        link.Start();
        clip.OwnerGone();  // empty history: nothing to put back
        QCOMPARE(clip.m_nSetText, 0);
        clip.Copy("alpha");
        clip.Copy("beta");
        link.Apply(*history.SelectClip(1));
        QCOMPARE(clip.m_nSetText, 1);
        clip.Copy("gamma");
        clip.OwnerGone();
        QCOMPARE(clip.m_nSetText, 2);
        QCOMPARE(clip.Text(), std::string("gamma"));  // the current entry is back
        QCOMPARE(history.History(), (Strings{"alpha", "beta", "gamma"}));
        QCOMPARE(history.Current(), 2);
    }

    void linkSeedKeepsWhatIsOnTheClipboard_data() {
        QTest::addColumn<bool>("picture");
        QTest::newRow("rich text") << false;
        QTest::newRow("picture") << true;
    }
    void linkSeedKeepsWhatIsOnTheClipboard() {
        QFETCH(bool, picture);
        CFakeClipboard clip;
        if (picture)
            clip.CopyPicture();
        else
            clip.Copy("start", {"text/html"});
        const Strings formats = clip.Formats();
        CClipHistory history;
        CClipboardLink link(clip, history);
        QCOMPARE(link.Seed(), !picture);
        link.Apply(history.PublishClip());
        if (!picture) link.Apply(history.PublishClip());
        QCOMPARE(clip.m_nSetText + clip.m_nClear, 0);
        QCOMPARE(clip.Formats(), formats);
        QCOMPARE(history.Count(), picture ? 0 : 1);
    }

    void linkSecretAtStartIsNotSeeded() {
        CFakeClipboard clip;
        clip.Copy("pw", {}, true);
        CClipHistory history;
        CClipboardLink link(clip, history);
        QVERIFY(!link.Seed());
        QVERIFY(history.IsEmpty());
    }

    // ---------------------------------------------------------- shortcuts

    void hotkeysOffscreenDoNothing() {
        auto keys = CreateGlobalHotkeys();
        int calls = 0;
        keys->SetCallback([&](int) { ++calls; });
        QVERIFY(keys->Start().empty());
        QCoreApplication::processEvents();
        keys->Stop();
        keys.reset();
        QCOMPARE(calls, 0);
    }

    void fakeHotkeysDriveSelection() {
        CFakeClipboard clip;
        CClipHistory history;
        CClipboardLink link(clip, history);
        link.Start();
        CFakeGlobalHotkeys keys;
        keys.SetCallback([&](int n) {
            if (auto p = history.SelectClip(n)) link.Apply(*p);
        });
        keys.Press(3);  // not started: nothing
        keys.Start();
        keys.Press(3);  // empty history: nothing
        QCOMPARE(clip.m_nSetText, 0);
        clip.Copy("a");
        clip.Copy("b");
        keys.Press(3);  // two entries: Ctrl+3 makes entry 2 current (already on it)
        QCOMPARE(history.Current(), 1);
        keys.Press(1);
        QCOMPARE(history.Current(), 0);
        QCOMPARE(clip.Text(), std::string("a"));
        QCOMPARE(clip.m_nSetText, 1);
    }
};

QTEST_MAIN(TestClipboardPlatform)
#include "tst_clipboard_platform.moc"
