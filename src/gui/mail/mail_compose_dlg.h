#pragma once
// "MailTo" (dialog 163): writing a message. The full form has To, CC, BCC,
// Subject, Body and the Settings button; the reduced form only To and Subject,
// for the hand-off to the desktop's mail program.
#include <QDialog>
#include <QPixmap>
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

    // Full form's "Send Mail" through a client: runs the SMTP flow with the
    // bound settings and shows "Outgoing Mail Server not found!" or "Error
    // sending mail!" when it fails.
    MailSendOutcome SendWith(IMailSender& client);

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
    // bSave: controls -> fields; otherwise fields -> controls.
    void DoDataExchange(bool bSave);

    bool m_bInitialised = false;
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
