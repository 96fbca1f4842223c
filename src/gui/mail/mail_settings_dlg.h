#pragma once
// "Mail settings" (dialog 201): the outgoing mail server and the sender's
// address. The caller fills the two texts, runs the dialog and reads them back
// on OK.
#include <QDialog>
#include <string>

class QLineEdit;

namespace meru {

class CMailSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMailSettingsDlg(QWidget* pParent = nullptr);

    std::string m_strSender;  // edit 1063
    std::string m_strServer;  // edit 1062

    QLineEdit* ServerEdit() const { return m_pServer; }
    QLineEdit* SenderEdit() const { return m_pSender; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    bool m_bInitialised = false;
    QLineEdit* m_pServer = nullptr;
    QLineEdit* m_pSender = nullptr;
};

}  // namespace meru
