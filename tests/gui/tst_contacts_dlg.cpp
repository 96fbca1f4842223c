// The contacts window with a fake clipboard, a fake launcher and a fake SMTP
// client: new contact from the clipboard, edit by double click, delete with
// Yes and No, the column buttons, MAIL and MAILSTD through the real compose
// dialog, vCard files through the list's menu, and Enter and Esc leaving
// the window.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/contacts/vcard.h"
#include "gui/contacts/contact_dlg.h"
#include "gui/contacts/contacts_dlg.h"
#include "gui/kit/window_tray.h"
#include "gui/mail/mail_compose_dlg.h"
#include "platform/clipboard.h"
#include "platform/launcher.h"
#include "support/main_fixture.h"
#include "support/when_modal.h"

using namespace meru;

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

CContact C(std::string name, std::string email = "", std::string tel = "", std::string cell = "") {
    return CContact{std::move(name), std::move(email), std::move(tel), std::move(cell), "", ""};
}

// Records one message's SMTP calls; like the real client, Send fails
// without a To recipient.
class CRecordingSender final : public IMailSender {
public:
    struct Log {
        int made = 0;
        QStringList calls;
        bool connectOk = true;
    };
    explicit CRecordingSender(Log& log) : m_log(log) {}
    bool Connect(const std::string& s, unsigned short port) override {
        m_log.calls << QString("Connect %1:%2").arg(Q(s)).arg(port);
        m_bConnected = m_log.connectOk;
        return m_bConnected;
    }
    bool IsConnected() const override { return m_bConnected; }
    void SetSender(const std::string& s) override { m_log.calls << "Sender " + Q(s); }
    void SetFrom(const std::string& s) override { m_log.calls << "From " + Q(s); }
    void SetSubject(const std::string& s) override { m_log.calls << "Subject " + Q(s); }
    void SetBody(const std::string& s) override { m_log.calls << "Body " + Q(s); }
    bool AddTo(const std::string& a, const std::string&) override { return Add("To", a, m_bHasTo); }
    bool AddCc(const std::string& a, const std::string&) override {
        bool b;
        return Add("Cc", a, b);
    }
    bool AddBcc(const std::string& a, const std::string&) override {
        bool b;
        return Add("Bcc", a, b);
    }
    bool Send() override {
        m_log.calls << "Send";
        return m_bHasTo;
    }
    bool Quit() override {
        m_log.calls << "Quit";
        m_bConnected = false;
        return true;
    }

private:
    bool Add(const char* what, const std::string& a, bool& added) {
        added = !a.empty();
        if (added) m_log.calls << QString("%1 %2").arg(what, Q(a));
        return added;
    }
    Log& m_log;
    bool m_bConnected = false;
    bool m_bHasTo = false;
};

// The window on its own contact list; the commands of its menu bar are
// recorded.
struct Fixture {
    QTemporaryDir dir;
    std::vector<int> commands;
    std::vector<CContact> contacts;
    MailSettings mail{"smtp.example.org", "me@example.org"};
    CFakeClipboard clip;
    CFakeLauncher launcher;
    CRecordingSender::Log smtp;
    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    std::unique_ptr<CContactsDlg> dlg;

    explicit Fixture(std::vector<CContact> start = {}, QWidget* focusBack = nullptr)
        : contacts(std::move(start)) {
        ToolWindowContext ctx;
        ctx.strVersion = QStringLiteral("MERU version 2.2");
        ctx.pFocusBack = focusBack;
        ctx.commands = [this](int id) { commands.push_back(id); };
        ContactsServices s;
        s.clipboard = &clip;
        s.launcher = &launcher;
        // The compose dialog as the program opens it, sending through a
        // recording client.
        s.composeMail = [this](QWidget* parent, bool bFull, const ComposedMail& prefill,
                               MailSettings& settings) -> std::optional<ComposedMail> {
            CMailComposeDlg compose(parent);
            compose.m_nMode = bFull ? CMailComposeDlg::kFull : CMailComposeDlg::kReduced;
            compose.BindSettings(settings);
            if (bFull) {
                compose.SetMailClientFactory([this] {
                    ++smtp.made;
                    return std::make_unique<CRecordingSender>(smtp);
                });
            }
            compose.m_strTo = prefill.m_strTo;
            compose.m_strBody = prefill.m_strBody;
            if (compose.exec() != QDialog::Accepted) return std::nullopt;
            return compose.Mail();
        };
        dlg = std::make_unique<CContactsDlg>(ctx, contacts, mail, QStringLiteral("/tmp/x.mer"), s);
        dlg->m_fnShowMessage = [this](QMessageBox::Icon icon, const QString& text) {
            messages.emplace_back(icon, text);
        };
        dlg->Create();
    }

    QStringList Column(int col) const {
        QStringList out;
        auto* m = dlg->Model();
        for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, col).data().toString();
        return out;
    }
    void Click(int id) { QTest::mouseClick(dlg->Button(id), Qt::LeftButton); }
    bool ShowWindow() {
        dlg->show();
        return QTest::qWaitForWindowExposed(dlg.get());
    }
};

}  // namespace

class TestContactsDlg : public QObject {
    Q_OBJECT
private slots:
    void windowLayout();
    void newContactFromClipboard();
    void newContactCancelledChangesNothing();
    void editByDoubleClick();
    void contactDialogKeysAndLongFields();
    void deleteAsksYesNo();
    void columnButtonsKeepOrderAndSelection();
    void mailAsksForClipboardAndSends();
    void mailFailuresAreReported();
    void mailStdHandsEncodedAddressToLauncher();
    void vcardExportAndImport();
    void enterAndEscLeaveIntoTheTray_data();
    void enterAndEscLeaveIntoTheTray();
    void cleanup() { CDesktopWindowTray::SetTrayAvailableForTesting(std::nullopt); }
};

void TestContactsDlg::windowLayout() {
    Fixture f({C("b"), C("a")});
    QCOMPARE(f.dlg->windowTitle(), QStringLiteral("MERU version 2.2 - CONTACTS [/tmp/x.mer]"));
    QVERIFY(f.dlg->isHidden());
    for (int id : {1049, 1056, 1057, 1058, 1013, 1018, 1064})
        QVERIFY2(f.dlg->Button(id), qPrintable(QString::number(id)));
    // The second column starts at the tab stop, 130 template units.
    QCOMPARE(f.dlg->List()->header()->sectionSize(0), f.dlg->Du().X(130));
    // The list is sorted at the start; nothing is selected.
    QCOMPARE(f.Column(0), QStringList({"a", "b"}));
    QCOMPARE(f.dlg->SelectedRow(), -1);
    QCOMPARE(f.dlg->ListMenuActions().size(), 2);
    QCOMPARE(f.dlg->ListMenuActions()[0]->text(), QStringLiteral("Import vCard..."));
    QCOMPARE(f.dlg->ListMenuActions()[1]->text(), QStringLiteral("Export vCard..."));
}

void TestContactsDlg::newContactFromClipboard() {
    struct Case {
        std::string clip;
        int field;  // edit id that is filled, 0: none
        QString value;
    };
    const std::vector<Case> cases = {
        {"Mario Rossi", 1046, "MarioRossi"},
        {"mario @rossi.it", 1051, "mario@rossi.it"},
        {"06 123-45", 1052, "06123-45"},
        {"+39 347 1", 1053, "+393471"},
        {"", 0, ""},
        {std::string(5000, 'x'), 0, ""},  // too long: nothing is cut into a field
    };
    Fixture f({C("M")});
    for (const Case& c : cases) {
        if (c.clip.empty())
            f.clip.CopyPicture();
        else
            f.clip.Copy(c.clip);
        bool seen = false;
        QStringList fields;
        bool noteEmpty = false;
        bool focusOnOk = false;
        test::WhenModal<CContactDlg>([&](CContactDlg* d) {
            seen = true;
            for (int id : {1046, 1051, 1052, 1053, 1054}) fields << d->Edit(id)->text();
            noteEmpty = d->NoteEdit()->toPlainText().isEmpty();
            // The focus starts on OK; on a busy machine the dialog's activation
            // may come a little after it is shown.
            focusOnOk =
                QTest::qWaitFor([&] { return QApplication::focusWidget() == d->OkButton(); }, 5000);
            d->Edit(1054)->setText("1 aprile");
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        f.Click(1049);
        QVERIFY(seen);
        const QStringList expected = {c.field == 1046 ? c.value : QString(),
                                      c.field == 1051 ? c.value : QString(),
                                      c.field == 1052 ? c.value : QString(),
                                      c.field == 1053 ? c.value : QString(), QString()};
        QCOMPARE(fields, expected);
        QVERIFY(noteEmpty);
        QVERIFY(focusOnOk);
    }
    QCOMPARE(int(f.contacts.size()), 1 + int(cases.size()));
    // Appended, then sorted: the empty names first, the rest in byte order.
    QCOMPARE(f.Column(0), QStringList({"", "", "", "", "", "M", "MarioRossi"}));
    const auto it = std::find_if(f.contacts.begin(), f.contacts.end(),
                                 [](const CContact& x) { return x.m_strTelephone == "06123-45"; });
    QVERIFY(it != f.contacts.end());
    QCOMPARE(it->m_strBirthday, std::string("1 aprile"));
}

void TestContactsDlg::newContactCancelledChangesNothing() {
    Fixture f({C("A")});
    f.clip.Copy("Bruno");
    test::WhenModal<CContactDlg>(
        [](CContactDlg* d) { QTest::mouseClick(d->CancelButton(), Qt::LeftButton); });
    f.Click(1049);
    QCOMPARE(f.contacts.size(), size_t(1));
    QCOMPARE(f.Column(0), QStringList({"A"}));
}

void TestContactsDlg::editByDoubleClick() {
    Fixture f({C("A", "a@x"), C("B", "b@x"), C("C", "c@x")});
    QVERIFY(f.ShowWindow());
    QTreeView* list = f.dlg->List();
    const QRect rowB = list->visualRect(f.dlg->Model()->index(1, 0));
    QVERIFY(rowB.isValid());
    bool seen = false;
    test::WhenModal<CContactDlg>([&](CContactDlg* d) {
        seen = true;
        QCOMPARE(d->Edit(1046)->text(), QStringLiteral("B"));
        QCOMPARE(d->Edit(1051)->text(), QStringLiteral("b@x"));
        d->Edit(1046)->setText("Z");
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowB.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowB.center());
    QVERIFY(seen);
    // Re-sorted; the highlight stays on row 1, which now shows "C".
    QCOMPARE(f.Column(0), QStringList({"A", "C", "Z"}));
    QCOMPARE(f.contacts[2].m_strEmail, std::string("b@x"));
    QCOMPARE(f.dlg->SelectedRow(), 1);

    // Cancel leaves the contact alone; without a selection nothing opens.
    test::WhenModal<CContactDlg>([](CContactDlg* d) {
        d->Edit(1046)->setText("changed");
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
    });
    f.dlg->OnEditContact();
    QCOMPARE(f.Column(0), QStringList({"A", "C", "Z"}));
    f.dlg->SelectRow(-1);
    int opened = 0;
    f.dlg->m_fnEditDialog = [&](CContact&) {
        ++opened;
        return true;
    };
    f.dlg->OnEditContact();
    QCOMPARE(opened, 0);
}

void TestContactsDlg::contactDialogKeysAndLongFields() {
    // Every field comes back exactly: a name longer than a line edit's
    // default limit, a multi-line note with CR LF.
    const std::string longName(40000, 'n');
    CContact c{longName, "e@x", "06\r\n07", "347", "--0415", "riga 1\r\nriga 2"};
    CContactDlg d;
    d.m_contact = c;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.OkButton()));
    // Enter in the note starts a new line and keeps the dialog open.
    d.NoteEdit()->setFocus();
    d.NoteEdit()->moveCursor(QTextCursor::End);
    QTest::keyClick(d.NoteEdit(), Qt::Key_Return);
    QTest::keyClicks(d.NoteEdit(), "3");
    QVERIFY(d.isVisible());
    // Enter in a single-line field is OK.
    QTest::keyClick(d.Edit(1051), Qt::Key_Return);
    QTRY_VERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    c.m_strNote += "\r\n3";
    QCOMPARE(d.m_contact, c);
}

void TestContactsDlg::deleteAsksYesNo() {
    Fixture f({C("A"), C("B"), C("C")});
    f.dlg->SelectRow(1);
    QString asked;
    test::WhenModal<QMessageBox>([&](QMessageBox* box) {
        asked = box->text();
        QCOMPARE(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::No)->click();
    });
    f.Click(1013);
    QCOMPARE(asked, CContactsDlg::DeleteQuestion());
    QCOMPARE(f.Column(0), QStringList({"A", "B", "C"}));

    test::WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    f.Click(1013);
    QCOMPARE(f.Column(0), QStringList({"A", "C"}));
    QCOMPARE(f.dlg->SelectedRow(), 1);  // the next contact

    test::WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    f.Click(1013);
    QCOMPARE(f.Column(0), QStringList({"A"}));
    QCOMPARE(f.dlg->SelectedRow(), -1);  // the last row went: nothing

    int asks = 0;
    f.dlg->m_fnAskDelete = [&] {
        ++asks;
        return true;
    };
    f.Click(1013);
    QCOMPARE(asks, 0);
    QCOMPARE(f.contacts.size(), size_t(1));
}

void TestContactsDlg::columnButtonsKeepOrderAndSelection() {
    Fixture f({C("b", "b@x", "06b", "3b"), C("a", "a@x", "06a", "3a"), C("c", "c@x", "06c", "3c")});
    f.dlg->SelectRow(2);
    const struct {
        int button;
        QStringList second;
    } steps[] = {
        {1058, {"a@x", "b@x", "c@x"}},
        {1057, {"3a", "3b", "3c"}},
        {1056, {"06a", "06b", "06c"}},
    };
    for (const auto& s : steps) {
        f.Click(s.button);
        QCOMPARE(f.Column(0), QStringList({"a", "b", "c"}));
        QCOMPARE(f.Column(1), s.second);
        QCOMPARE(f.dlg->SelectedRow(), 2);
    }
}

void TestContactsDlg::mailAsksForClipboardAndSends() {
    struct Case {
        int row;           // selected row, -1: none
        std::string clip;  // "" : nothing on the clipboard
        bool answer;       // to the clipboard question
        bool asked;
        QString to, body;
        bool sentOk;  // no message afterwards
    };
    const Case cases[] = {
        {0, "testo copiato", true, true, "anna@x.it", "testo copiato", true},
        {0, "testo copiato", false, true, "anna@x.it", "", true},
        {1, "", true, false, "bruno@x.it", "", true},
        {-1, "", true, false, "", "", false},  // no To: "Error sending mail!"
    };
    for (const Case& c : cases) {
        Fixture f({C("Anna", "anna@x.it"), C("Bruno", "bruno@x.it")});
        f.dlg->SelectRow(c.row);
        if (c.clip.empty())
            f.clip.CopyPicture();
        else
            f.clip.Copy(c.clip);
        int asked = 0;
        f.dlg->m_fnAskClipboardToBody = [&] {
            ++asked;
            return c.answer;
        };
        QString to, body;
        bool bodyShown = false;
        test::WhenModal<CMailComposeDlg>([&](CMailComposeDlg* d) {
            to = d->ToEdit()->text();
            body = d->BodyEdit()->toPlainText();
            bodyShown = d->BodyEdit()->isVisibleTo(d);
            d->SubjectEdit()->setText("Ciao");
            d->CcEdit()->setText("cc@x.it");
            QTest::mouseClick(d->SendButton(), Qt::LeftButton);
        });
        // A failed send is told in a box over the compose dialog, which stays
        // open with the message; the user then cancels it.
        QString box;
        if (!c.sentOk) {
            test::WhenModal<QMessageBox>([&](QMessageBox* b) {
                box = b->text();
                test::WhenModal<CMailComposeDlg>([](CMailComposeDlg* d) {
                    QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
                });
                b->accept();
            });
        }
        f.Click(1018);
        QCOMPARE(asked, c.asked ? 1 : 0);
        QCOMPARE(to, c.to);
        QCOMPARE(body, c.body);
        QVERIFY(bodyShown);
        QCOMPARE(f.smtp.made, 1);
        QStringList expected = {"Connect smtp.example.org:0", "From me@example.org",
                                "Sender me@example.org", "Subject Ciao"};
        if (!c.to.isEmpty()) expected << "To " + c.to;
        expected << "Cc cc@x.it"
                 << "Body " + c.body << "Send"
                 << "Quit";
        QCOMPARE(f.smtp.calls, expected);
        QVERIFY(f.messages.empty());
        QCOMPARE(box, c.sentOk ? QString() : QStringLiteral("Error sending mail!"));
    }
}

void TestContactsDlg::mailFailuresAreReported() {
    Fixture f({C("Anna", "anna@x.it")});
    f.dlg->SelectRow(0);
    f.smtp.connectOk = false;
    test::WhenModal<CMailComposeDlg>(
        [](CMailComposeDlg* d) { QTest::mouseClick(d->SendButton(), Qt::LeftButton); });
    QString box;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    test::WhenModal<QMessageBox>([&](QMessageBox* b) {
        box = b->text();
        icon = b->icon();
        test::WhenModal<CMailComposeDlg>(
            [](CMailComposeDlg* d) { QTest::mouseClick(d->CancelButton(), Qt::LeftButton); });
        b->accept();
    });
    f.Click(1018);
    QCOMPARE(f.smtp.calls, QStringList({"Connect smtp.example.org:0"}));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(box, QStringLiteral("Outgoing Mail Server not found!"));

    // Cancel sends nothing; a change made through "Settings" stays.
    f.smtp.calls.clear();
    test::WhenModal<CMailComposeDlg>([](CMailComposeDlg* d) {
        *d->m_pServer = "other.example.org";
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
    });
    f.Click(1018);
    QVERIFY(f.smtp.calls.isEmpty());
    QCOMPARE(f.mail.m_strServer, std::string("other.example.org"));
}

void TestContactsDlg::mailStdHandsEncodedAddressToLauncher() {
    Fixture f({C("Anna", "anna@x.it")});
    f.clip.Copy("not asked about");
    int asked = 0;
    f.dlg->m_fnAskClipboardToBody = [&] {
        ++asked;
        return true;
    };

    f.dlg->SelectRow(0);
    bool reduced = false;
    test::WhenModal<CMailComposeDlg>([&](CMailComposeDlg* d) {
        reduced = !d->BodyEdit()->isVisibleTo(d) && !d->CcEdit()->isVisibleTo(d) &&
                  !d->SettingsButton()->isVisibleTo(d);
        QCOMPARE(d->ToEdit()->text(), QStringLiteral("anna@x.it"));
        d->SubjectEdit()->setText("a & b #c?=d");
        QTest::mouseClick(d->SendButton(), Qt::LeftButton);
    });
    f.Click(1064);
    QVERIFY(reduced);
    QCOMPARE(asked, 0);
    QCOMPARE(f.launcher.calls.size(), size_t(1));
    QCOMPARE(f.launcher.calls[0].kind, CFakeLauncher::Call::Url);
    QCOMPARE(QString::fromLatin1(f.launcher.calls[0].url.toEncoded()),
             QStringLiteral("mailto:anna@x.it?subject=a%20%26%20b%20%23c%3F%3Dd"));

    // No selection: empty To; Cancel: nothing handed over.
    f.dlg->SelectRow(-1);
    test::WhenModal<CMailComposeDlg>([](CMailComposeDlg* d) {
        QVERIFY(d->ToEdit()->text().isEmpty());
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
    });
    f.Click(1064);
    QCOMPARE(f.launcher.calls.size(), size_t(1));
    QCOMPARE(f.smtp.made, 0);
}

void TestContactsDlg::vcardExportAndImport() {
    const std::vector<CContact> start = {{"Zoë, d'Ávila", "z@x", "06;1", "347", "--0415", "a\r\nb"},
                                         {"Bruno", "", "", "", "", ""}};
    Fixture f(start);
    const QString out = f.dir.filePath("all.vcf");
    f.dlg->m_fnChooseExportFile = [&] { return out; };
    f.dlg->ListMenuActions()[1]->trigger();
    QVERIFY(f.messages.empty());
    const auto written = test::ReadBytes(out);
    QVERIFY(written);
    const VCardImport back = ReadVCards(*written);
    QVERIFY(back.ok);
    QCOMPARE(back.contacts, f.contacts);

    // A damaged file: a message, no change.
    const QString bad = f.dir.filePath("bad.vcf");
    QVERIFY(test::WriteBytes(bad, "BEGIN:VCARD\r\nFN:Half\r\n"));
    f.dlg->m_fnChooseImportFile = [&] { return bad; };
    f.dlg->ListMenuActions()[0]->trigger();
    QCOMPARE(f.contacts.size(), size_t(2));
    QCOMPARE(f.messages.size(), size_t(1));
    QCOMPARE(f.messages[0].first, QMessageBox::Warning);
    QVERIFY(f.messages[0].second.contains("END:VCARD"));

    // The exported file again: every card is appended, the list re-sorted.
    f.dlg->m_fnChooseImportFile = [&] { return out; };
    f.dlg->ListMenuActions()[0]->trigger();
    QCOMPARE(f.messages.size(), size_t(2));
    QCOMPARE(f.messages[1].first, QMessageBox::Information);
    QCOMPARE(f.messages[1].second, QStringLiteral("2 contacts added."));
    QCOMPARE(f.Column(0), QStringList({"Bruno", "Bruno", "Zoë, d'Ávila", "Zoë, d'Ávila"}));

    // Not a regular file: refused without blocking.
    f.dlg->m_fnChooseImportFile = [] { return QStringLiteral("/dev/zero"); };
    f.dlg->ListMenuActions()[0]->trigger();
    QCOMPARE(f.contacts.size(), size_t(4));
    QCOMPARE(f.messages.size(), size_t(3));
}

void TestContactsDlg::enterAndEscLeaveIntoTheTray_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("tray");
    for (bool tray : {true, false}) {
        const char* where = tray ? "tray" : "no tray";
        QTest::addRow("Return, %s", where) << int(Qt::Key_Return) << tray;
        QTest::addRow("keypad Enter, %s", where) << int(Qt::Key_Enter) << tray;
        QTest::addRow("Esc, %s", where) << int(Qt::Key_Escape) << tray;
    }
}

// Enter and Esc leave the window the same way: hidden into the tray, or
// minimised where there is no tray (a hidden window would then be lost),
// and the main window gets the focus back.
void TestContactsDlg::enterAndEscLeaveIntoTheTray() {
    QFETCH(int, key);
    QFETCH(bool, tray);
    CDesktopWindowTray::SetTrayAvailableForTesting(tray);
    QWidget main;
    main.resize(200, 100);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    Fixture f({C("a", "a@example.org")}, &main);
    QVERIFY(f.ShowWindow());
    f.dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.dlg.get()));
    f.dlg->SelectRow(0);
    f.dlg->List()->setFocus();

    QTest::keyClick(f.dlg->List(), Qt::Key(key));
    if (tray) {
        QTRY_VERIFY(f.dlg->isHidden());
    } else {
        QTRY_VERIFY(f.dlg->isMinimized());
        QVERIFY(f.dlg->isVisible());
    }
    QTRY_VERIFY(main.isActiveWindow());
    QVERIFY(f.messages.empty());
    QCOMPARE(f.contacts.size(), size_t(1));
}

QTEST_MAIN(TestContactsDlg)
#include "tst_contacts_dlg.moc"
