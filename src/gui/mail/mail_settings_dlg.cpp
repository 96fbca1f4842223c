#include "gui/mail/mail_settings_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/kit/dialog_units.h"

namespace meru {

CMailSettingsDlg::CMailSettingsDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Mail settings"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(275, 90));

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setGeometry(du.Rect(75, 69, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CMailSettingsDlg::accept);
    auto* pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    pCancel->setGeometry(du.Rect(160, 69, 50, 14));
    pCancel->setAutoDefault(false);
    connect(pCancel, &QPushButton::clicked, this, &CMailSettingsDlg::reject);

    (new QLabel(QStringLiteral("Outgoing Mail Server"), this))->setGeometry(du.Rect(7, 7, 67, 8));
    m_pServer = new QLineEdit(this);
    m_pServer->setObjectName(QStringLiteral("edit1062"));
    m_pServer->setGeometry(du.Rect(7, 16, 261, 14));
    (new QLabel(QStringLiteral("Sender Email Adress"), this))->setGeometry(du.Rect(7, 36, 66, 8));
    m_pSender = new QLineEdit(this);
    m_pSender->setObjectName(QStringLiteral("edit1063"));
    m_pSender->setGeometry(du.Rect(7, 46, 261, 14));

    // Labels may need more room than their template width in another font.
    for (QLabel* pLabel : findChildren<QLabel*>()) pLabel->adjustSize();

    setTabOrder(pOk, pCancel);
    setTabOrder(pCancel, m_pServer);
    setTabOrder(m_pServer, m_pSender);
}

void CMailSettingsDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        m_pSender->setText(QString::fromStdString(m_strSender));
        m_pServer->setText(QString::fromStdString(m_strServer));
        m_pServer->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(pEvent);
}

void CMailSettingsDlg::accept() {
    m_strSender = m_pSender->text().toStdString();
    m_strServer = m_pServer->text().toStdString();
    QDialog::accept();
}

}  // namespace meru
