// "Send Mail" of the full compose form with a client from the dialog's
// factory: the client works off the interface thread behind a progress
// dialog whose Cancel ends it, the two failure boxes carry the server's
// reply, and a login password is asked once and kept in memory.
#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "core/mail/mail_sender.h"
#include "core/mail/mail_settings.h"
#include "gui/mail/mail_compose_dlg.h"

using namespace meru;

namespace {

// Calls act with whatever modal widget is up, every 10 ms, as long as it
// lives (so a watcher ends with the test that made it).
class CModalWatcher {
public:
    explicit CModalWatcher(std::function<void(QWidget*)> act) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [act] {
            if (QWidget* w = QApplication::activeModalWidget()) act(w);
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// A client whose Connect hangs until Cancel, like a server that never answers.
struct HangState {
    std::mutex m;
    std::condition_variable cv;
    bool inConnect = false;
    bool cancelled = false;
    std::thread::id thread;
};

class CHangingSender final : public IMailSender {
public:
    explicit CHangingSender(std::shared_ptr<HangState> s) : m_s(std::move(s)) {}
    bool Connect(const std::string&, unsigned short) override {
        std::unique_lock lock(m_s->m);
        m_s->thread = std::this_thread::get_id();
        m_s->inConnect = true;
        m_s->cv.notify_all();
        m_s->cv.wait_for(lock, std::chrono::seconds(30), [this] { return m_s->cancelled; });
        return false;
    }
    void Cancel() override {
        std::lock_guard lock(m_s->m);
        m_s->cancelled = true;
        m_s->cv.notify_all();
    }
    MailFailure Failure() const override {
        return m_s->cancelled ? MailFailure::Cancelled : MailFailure::Unreachable;
    }
    bool IsConnected() const override { return false; }
    void SetSender(const std::string&) override {}
    void SetFrom(const std::string&) override {}
    void SetSubject(const std::string&) override {}
    void SetBody(const std::string&) override {}
    bool AddTo(const std::string&, const std::string&) override { return true; }
    bool AddCc(const std::string&, const std::string&) override { return true; }
    bool AddBcc(const std::string&, const std::string&) override { return true; }
    bool Send() override { return false; }
    bool Quit() override { return false; }

private:
    std::shared_ptr<HangState> m_s;
};

// A client with a set answer; remembers the password and the calls.
struct ScriptState {
    bool connectOk = true;
    bool sendOk = true;
    MailFailure failure = MailFailure::None;
    std::string detail;
    std::vector<std::string> passwords;  // one per Connect
    int connects = 0;
    bool quit = false;
};

class CScriptedSender final : public IMailSender {
public:
    explicit CScriptedSender(std::shared_ptr<ScriptState> s) : m_s(std::move(s)) {}
    bool Connect(const std::string&, unsigned short) override {
        ++m_s->connects;
        m_s->passwords.push_back(m_strPassword);
        m_bConnected = m_s->connectOk;
        return m_s->connectOk;
    }
    void SetPassword(const std::string& p) override { m_strPassword = p; }
    MailFailure Failure() const override { return m_s->failure; }
    std::string Detail() const override { return m_s->detail; }
    bool IsConnected() const override { return m_bConnected; }
    void SetSender(const std::string&) override {}
    void SetFrom(const std::string&) override {}
    void SetSubject(const std::string&) override {}
    void SetBody(const std::string&) override {}
    bool AddTo(const std::string&, const std::string&) override { return true; }
    bool AddCc(const std::string&, const std::string&) override { return true; }
    bool AddBcc(const std::string&, const std::string&) override { return true; }
    bool Send() override { return m_s->sendOk; }
    bool Quit() override {
        m_s->quit = true;
        m_bConnected = false;
        return true;
    }

private:
    std::shared_ptr<ScriptState> m_s;
    std::string m_strPassword;
    bool m_bConnected = false;
};

MailClientFactory Scripted(const std::shared_ptr<ScriptState>& s) {
    return [s] { return std::make_unique<CScriptedSender>(s); };
}

}  // namespace

class TestMailSend : public QObject {
    Q_OBJECT
private slots:
    void progressWhileTheClientHangsAndCancelEndsIt();
    void outcomesAndTheirMessages_data();
    void outcomesAndTheirMessages();
    void passwordIsAskedOnceAndForgottenWhenRefused();
};

void TestMailSend::progressWhileTheClientHangsAndCancelEndsIt() {
    auto hang = std::make_shared<HangState>();
    MailSettings settings{"mail.example", "me@example.org"};
    CMailComposeDlg dlg;
    dlg.BindSettings(settings);
    dlg.SetMailClientFactory([hang] { return std::make_unique<CHangingSender>(hang); });
    dlg.m_strTo = "to@example.org";
    dlg.m_strBody = "keep me";
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();

    bool handled = false, sawProgress = false, sawBox = false, clientWasInConnect = false;
    int ticksWhileHanging = 0;
    CModalWatcher watcher([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            sawBox = true;
            box->accept();
            return;
        }
        auto* progress = qobject_cast<QProgressDialog*>(w);
        if (!progress || handled) return;
        handled = true;
        sawProgress = progress->isVisible();
        // The interface thread keeps running events while the client hangs.
        {
            std::unique_lock lock(hang->m);
            hang->cv.wait_for(lock, std::chrono::seconds(10), [&] { return hang->inConnect; });
            clientWasInConnect = hang->inConnect;
        }
        const int before = ticks;
        QElapsedTimer t;
        t.start();
        while (ticks < before + 5 && t.elapsed() < 10000) QTest::qWait(10);
        ticksWhileHanging = ticks - before;
        QPushButton* cancel = progress->findChild<QPushButton*>();
        if (cancel) QTest::mouseClick(cancel, Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(dlg.SendButton(), Qt::LeftButton);  // returns when the attempt has ended

    QVERIFY(sawProgress);
    QVERIFY(clientWasInConnect);
    QVERIFY(hang->thread != std::this_thread::get_id());
    QVERIFY(ticksWhileHanging >= 5);
    QVERIFY(hang->cancelled);
    QCOMPARE(dlg.LastSendResult().m_outcome, MailSendOutcome::Cancelled);
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(!sawBox);  // a cancelled send needs no message
    // The dialog stays with the message in it.
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.m_strBody, std::string("keep me"));
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr ||
                QApplication::activeModalWidget() == &dlg);
}

void TestMailSend::outcomesAndTheirMessages_data() {
    QTest::addColumn<bool>("bConnectOk");
    QTest::addColumn<bool>("bSendOk");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("box");
    QTest::newRow("sent: no message, the dialog closes")
        << true << true << int(MailFailure::None) << ""
        << "";
    QTest::newRow("recipient refused")
        << true << false << int(MailFailure::Refused)
        << "The server refused RCPT TO: <to@example.org>:\n550 5.1.1 no such user"
        << "Error sending mail!";
    QTest::newRow("server not reached")
        << false << true << int(MailFailure::Unreachable)
        << "cannot resolve nowhere.invalid: Name or service not known"
        << "Outgoing Mail Server not found!";
    QTest::newRow("certificate refused")
        << false << true << int(MailFailure::Tls)
        << "the server's certificate is not trusted: Hostname mismatch"
        << "Error sending mail!";
}

void TestMailSend::outcomesAndTheirMessages() {
    QFETCH(bool, bConnectOk);
    QFETCH(bool, bSendOk);
    QFETCH(int, failure);
    QFETCH(QString, detail);
    QFETCH(QString, box);
    auto s = std::make_shared<ScriptState>();
    s->connectOk = bConnectOk;
    s->sendOk = bSendOk;
    s->failure = MailFailure(failure);
    s->detail = detail.toStdString();
    MailSettings settings{"mail.example", "me@example.org"};
    CMailComposeDlg dlg;
    dlg.BindSettings(settings);
    dlg.SetMailClientFactory(Scripted(s));
    dlg.m_strTo = "to@example.org";
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QString text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    CModalWatcher watcher([&](QWidget* w) {
        if (auto* b = qobject_cast<QMessageBox*>(w)) {
            text = b->text();
            informative = b->informativeText();
            icon = b->icon();
            b->accept();
        }
    });
    QTest::mouseClick(dlg.SendButton(), Qt::LeftButton);
    QCOMPARE(s->connects, 1);
    QCOMPARE(text, box);
    if (box.isEmpty()) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QVERIFY(s->quit);
    } else {
        QCOMPARE(informative, detail);
        QCOMPARE(icon, QMessageBox::Warning);
        QVERIFY(dlg.isVisible());  // the user can correct and send again
        QCOMPARE(s->quit, bConnectOk);
    }
}

void TestMailSend::passwordIsAskedOnceAndForgottenWhenRefused() {
    auto s = std::make_shared<ScriptState>();
    MailSettings settings{"smtp://anna@pw.example", "anna@example.org"};
    const MailSettings before = settings;
    int asked = 0;
    QString label;
    QString answer = "first";
    bool cancelQuestion = false;
    CModalWatcher watcher([&](QWidget* w) {
        if (auto* in = qobject_cast<QInputDialog*>(w)) {
            ++asked;
            label = in->labelText();
            QCOMPARE(in->textEchoMode(), QLineEdit::Password);
            if (cancelQuestion) {
                in->reject();
            } else {
                in->setTextValue(answer);
                in->accept();
            }
        } else if (auto* b = qobject_cast<QMessageBox*>(w)) {
            b->accept();
        }
    });
    auto sendOnce = [&] {
        CMailComposeDlg dlg;
        dlg.BindSettings(settings);
        dlg.SetMailClientFactory(Scripted(s));
        dlg.m_strTo = "to@example.org";
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(dlg.SendButton(), Qt::LeftButton);
    };

    cancelQuestion = true;  // no password: nothing is sent
    sendOnce();
    QCOMPARE(asked, 1);
    QCOMPARE(s->connects, 0);

    cancelQuestion = false;
    sendOnce();
    QCOMPARE(asked, 2);
    QVERIFY(label.contains("anna") && label.contains("pw.example"));
    sendOnce();  // kept for the run: not asked again
    QCOMPARE(asked, 2);
    QCOMPARE(s->passwords, (std::vector<std::string>{"first", "first"}));

    s->connectOk = false;  // the server refuses the login: the password is forgotten
    s->failure = MailFailure::AuthRefused;
    s->detail = "535 5.7.8 authentication failed";
    sendOnce();
    QCOMPARE(asked, 2);
    s->connectOk = true;
    s->failure = MailFailure::None;
    answer = "second";
    sendOnce();
    QCOMPARE(asked, 3);
    QCOMPARE(s->passwords, (std::vector<std::string>{"first", "first", "first", "second"}));
    QVERIFY(settings == before);  // never stored with the settings
}

QTEST_MAIN(TestMailSend)
#include "tst_mail_send.moc"
