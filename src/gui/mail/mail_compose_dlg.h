#pragma once
// "MailTo" (dialog 163): writing a message. The full form has To, CC, BCC,
// Subject, Body and the Settings button; the reduced form only To and Subject,
// for the hand-off to the desktop's mail program.
#include <QDialog>
#include <QPixmap>
#include <optional>
#include <string>

#include "core/mail/mail_sender.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QLabel;

namespace meru {

struct MailSettings;

class CMailComposeDlg : public QDialog {
    Q_OBJECT
public:
    enum { kFull = 0, kReduced = 1 };

    explicit CMailComposeDlg(QWidget* pParent = nullptr);

    // Set before the dialog runs.
    int m_nMode = kFull;
    std::string* m_pServer = nullptr;  // the opener's mail settings, edited by "Settings"
    std::string* m_pSender = nullptr;
    void BindSettings(MailSettings& settings);

    // Bound texts (UTF-8). The opener may fill To and Body before running the
    // dialog and reads them all after "Send Mail".
    std::string m_strBcc;
    std::string m_strCc;
    std::string m_strTo;
    std::string m_strSubject;
    std::string m_strBody;

    ComposedMail Mail() const;

    // Where "Send Mail" of the full form gets its SMTP client. With a
    // factory set, "Send Mail" sends the message itself and closes the
    // dialog only once the server took it; without one it just closes with
    // OK and the opener decides. The program passes MakeSmtpClient.
    void SetMailClientFactory(MailClientFactory fnMakeClient) {
        m_fnMakeClient = std::move(fnMakeClient);
    }

    // Sends the bound message through the client off the interface thread,
    // with a progress dialog whose Cancel ends the attempt; asks for the
    // login password first when the server setting names a user (kept in
    // memory for the run, never stored). Shows "Outgoing Mail Server not
    // found!" or "Error sending mail!" with the server's reply when it fails.
    MailSendOutcome SendWith(IMailSender& client);
    const MailSendResult& LastSendResult() const { return m_lastResult; }

    // Controls, for the opener's tests.
    QPlainTextEdit* BodyEdit() const { return m_pBody; }
    QLineEdit* ToEdit() const { return m_pTo; }
    QLineEdit* CcEdit() const { return m_pCc; }
    QLineEdit* BccEdit() const { return m_pBcc; }
    QLineEdit* SubjectEdit() const { return m_pSubject; }
    QPushButton* SendButton() const { return m_pSend; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QPushButton* SettingsButton() const { return m_pSettings; }

public slots:
    void accept() override;
    void OnSettings();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    void OnInitDialog();
    MailSendResult RunSend(IMailSender& client);
    // The login password for the server setting: "" when it names no user,
    // nothing when the user cancels the question.
    std::optional<std::string> PasswordFor(const std::string& strServer);
    // bSave: controls -> fields; otherwise fields -> controls.
    void DoDataExchange(bool bSave);

    bool m_bInitialised = false;
    MailClientFactory m_fnMakeClient;
    MailSendResult m_lastResult;
    QPixmap m_bmpBackground;
    QPlainTextEdit* m_pBody = nullptr;
    QPushButton* m_pSend = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLineEdit* m_pTo = nullptr;
    QLineEdit* m_pCc = nullptr;
    QLineEdit* m_pBcc = nullptr;
    QLineEdit* m_pSubject = nullptr;
    QPushButton* m_pSettings = nullptr;
};

}  // namespace meru
