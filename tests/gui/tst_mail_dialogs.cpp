// The compose dialog in its two forms, the mail settings dialog behind its
// Settings button, and the SMTP flow of the full form's "Send Mail".
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "gui/mail/mail_compose_dlg.h"
#include "core/mail/mail_sender.h"
#include "core/mail/mail_settings.h"
#include "gui/mail/mail_settings_dlg.h"

#include "support/when_modal.h"

using namespace meru;
using meru::test::WhenModal;

namespace {

// Records what the flow asks of the SMTP client.
class CFakeSender final : public IMailSender {
public:
    QStringList log;
    bool bConnectOk = true;
    bool bSendOk = true;
    bool bConnected = false;

    bool Connect(const std::string& s, unsigned short nPort) override {
        log << QString("Connect %1 %2").arg(QString::fromStdString(s)).arg(nPort);
        bConnected = bConnectOk;
        return bConnectOk;
    }
    bool IsConnected() const override { return bConnected; }
    void SetSender(const std::string& s) override { Log("SetSender", s); }
    void SetFrom(const std::string& s) override { Log("SetFrom", s); }
    void SetSubject(const std::string& s) override { Log("SetSubject", s); }
    void SetBody(const std::string& s) override { Log("SetBody", s); }
    bool AddTo(const std::string& a, const std::string& n) override { return Add("AddTo", a, n); }
    bool AddCc(const std::string& a, const std::string& n) override { return Add("AddCc", a, n); }
    bool AddBcc(const std::string& a, const std::string& n) override { return Add("AddBcc", a, n); }
    bool Send() override {
        log << "Send";
        return bSendOk;
    }
    bool Quit() override {
        log << "Quit";
        bConnected = false;
        return true;
    }

private:
    void Log(const char* op, const std::string& s) {
        log << QString("%1 %2").arg(op, QString::fromStdString(s));
    }
    bool Add(const char* op, const std::string& a, const std::string& n) {
        log << QString("%1 %2<%3>").arg(op, QString::fromStdString(n), QString::fromStdString(a));
        return !a.empty();
    }
};

bool Shown(QWidget* w) { return w->isVisibleTo(w->window()); }

}  // namespace

class TestMailDialogs : public QObject {
    Q_OBJECT
private slots:
    void reducedFormShowsOnlyToAndSubject();
    void fullFormReadsEveryField();
    void cancelLeavesFields();
    void settingsButtonEditsTheOpenersSettings_data();
    void settingsButtonEditsTheOpenersSettings();
    void sendFlow_data();
    void sendFlow();
    void sendFailureIsReported();
};

void TestMailDialogs::reducedFormShowsOnlyToAndSubject() {
    CMailComposeDlg dlg;
    dlg.m_nMode = CMailComposeDlg::kReduced;
    dlg.m_strCc = "cc@example.org";  // must never come back from a reduced form's hidden edit
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QVERIFY(Shown(dlg.ToEdit()));
    QVERIFY(Shown(dlg.SubjectEdit()));
    QVERIFY(Shown(dlg.SendButton()));
    QVERIFY(Shown(dlg.CancelButton()));
    QVERIFY(!Shown(dlg.CcEdit()));
    QVERIFY(!Shown(dlg.BccEdit()));
    QVERIFY(!Shown(dlg.BodyEdit()));
    QVERIFY(!Shown(dlg.SettingsButton()));
    QStringList labels;
    for (QLabel* l : dlg.findChildren<QLabel*>())
        if (Shown(l) && !l->text().isEmpty()) labels << l->text();
    labels.sort();
    QCOMPARE(labels, QStringList({"BCC:", "Body:", "CC:", "Subject:", "To:"}));
    QCOMPARE(dlg.windowTitle(), QString("MailTo"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.ToEdit()));

    // Typing and Enter: Enter is "Send Mail".
    QTest::keyClicks(dlg.ToEdit(), "anna@example.org");
    dlg.SubjectEdit()->setFocus();
    dlg.SubjectEdit()->setText(QString::fromUtf8("Caffè & #1 ?"));
    QTest::keyClick(dlg.SubjectEdit(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_strTo, std::string("anna@example.org"));
    QCOMPARE(dlg.m_strSubject, std::string("Caffè & #1 ?"));
}

void TestMailDialogs::fullFormReadsEveryField() {
    CMailComposeDlg dlg;
    dlg.m_strTo = "bob@example.org";
    dlg.m_strBody = "first line\nsecond ☃";
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (QWidget* w :
         std::initializer_list<QWidget*>{dlg.ToEdit(), dlg.CcEdit(), dlg.BccEdit(),
                                         dlg.SubjectEdit(), dlg.BodyEdit(), dlg.SettingsButton()})
        QVERIFY(Shown(w));
    QCOMPARE(dlg.ToEdit()->text(), QString("bob@example.org"));
    QCOMPARE(dlg.BodyEdit()->toPlainText(), QString::fromUtf8("first line\nsecond ☃"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.BodyEdit()));

    // Enter in the body is a new line, not "Send Mail".
    dlg.BodyEdit()->moveCursor(QTextCursor::End);
    QTest::keyClick(dlg.BodyEdit(), Qt::Key_Return);
    QTest::keyClicks(dlg.BodyEdit(), "third");
    QVERIFY(dlg.isVisible());
    dlg.CcEdit()->setText("cc@example.org");
    dlg.BccEdit()->setText("bcc@example.org");
    dlg.SubjectEdit()->setText("Hello");
    QTest::mouseClick(dlg.SendButton(), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    const ComposedMail m = dlg.Mail();
    QCOMPARE(m.m_strTo, std::string("bob@example.org"));
    QCOMPARE(m.m_strCc, std::string("cc@example.org"));
    QCOMPARE(m.m_strBcc, std::string("bcc@example.org"));
    QCOMPARE(m.m_strSubject, std::string("Hello"));
    QCOMPARE(m.m_strBody, std::string("first line\nsecond ☃\nthird"));
}

void TestMailDialogs::cancelLeavesFields() {
    CMailComposeDlg dlg;
    dlg.m_strTo = "keep@example.org";
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.ToEdit()->setText("changed@example.org");
    QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(dlg.m_strTo, std::string("keep@example.org"));
}

void TestMailDialogs::settingsButtonEditsTheOpenersSettings_data() {
    QTest::addColumn<bool>("bOk");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel after editing") << false;
}

void TestMailDialogs::settingsButtonEditsTheOpenersSettings() {
    QFETCH(bool, bOk);
    MailSettings settings{"smtp.old.example", "me@old.example"};
    CMailComposeDlg dlg;
    dlg.BindSettings(settings);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    QString seenServer, seenSender, seenTitle;
    WhenModal<CMailSettingsDlg>([&](CMailSettingsDlg* p) {
        seenTitle = p->windowTitle();
        seenServer = p->ServerEdit()->text();
        seenSender = p->SenderEdit()->text();
        p->ServerEdit()->setText("smtp.new.example");
        p->SenderEdit()->setText(QString::fromUtf8("è@new.example"));
        if (bOk)
            p->accept();
        else
            p->reject();
    });
    QTest::mouseClick(dlg.SettingsButton(), Qt::LeftButton);

    QCOMPARE(seenTitle, QString("Mail settings"));
    QCOMPARE(seenServer, QString("smtp.old.example"));
    QCOMPARE(seenSender, QString("me@old.example"));
    if (bOk) {
        QCOMPARE(settings.m_strServer, std::string("smtp.new.example"));
        QCOMPARE(settings.m_strSender, std::string("è@new.example"));
    } else {
        QCOMPARE(settings.m_strServer, std::string("smtp.old.example"));
        QCOMPARE(settings.m_strSender, std::string("me@old.example"));
    }
    QVERIFY(dlg.isVisible());  // the compose dialog stays open
}

void TestMailDialogs::sendFlow_data() {
    QTest::addColumn<bool>("bConnectOk");
    QTest::addColumn<bool>("bSendOk");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("calls");
    const QStringList filled = {"Connect smtp.example 0", "SetFrom me@example",
                                "SetSender me@example",   "SetSubject Hi",
                                "AddTo <to@example>",     "AddCc <>",
                                "AddBcc <bcc@example>",   "SetBody line1\r\nline2"};
    QTest::newRow("sent") << true << true << int(MailSendOutcome::Sent)
                          << (filled + QStringList{"Send", "Quit"});
    QTest::newRow("send fails, QUIT still sent")
        << true << false << int(MailSendOutcome::SendFailed)
        << (filled + QStringList{"Send", "Quit"});
    QTest::newRow("server not found: nothing else")
        << false << true << int(MailSendOutcome::ServerNotFound)
        << QStringList{"Connect smtp.example 0"};
}

void TestMailDialogs::sendFlow() {
    QFETCH(bool, bConnectOk);
    QFETCH(bool, bSendOk);
    QFETCH(int, outcome);
    QFETCH(QStringList, calls);
    CFakeSender client;
    client.bConnectOk = bConnectOk;
    client.bSendOk = bSendOk;
    const MailSettings settings{"smtp.example", "me@example"};
    const ComposedMail mail{"to@example", "", "bcc@example", "Hi", "line1\r\nline2"};
    QCOMPARE(int(SendComposedMail(client, settings, mail).m_outcome), outcome);
    QCOMPARE(client.log, calls);
}

void TestMailDialogs::sendFailureIsReported() {
    MailSettings settings{"nowhere.invalid", ""};
    CMailComposeDlg dlg;
    dlg.BindSettings(settings);
    dlg.m_strTo = "to@example";
    CFakeSender client;
    client.bConnectOk = false;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        icon = box->icon();
        box->accept();
    });
    QCOMPARE(dlg.SendWith(client), MailSendOutcome::ServerNotFound);
    QCOMPARE(text, QString("Outgoing Mail Server not found!"));
    QCOMPARE(icon, QMessageBox::Warning);
}

QTEST_MAIN(TestMailDialogs)
#include "tst_mail_dialogs.moc"
